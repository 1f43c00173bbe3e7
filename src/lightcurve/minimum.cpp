#include "lightcurve/minimum.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "core/file_replace.h"
#include "lightcurve/aavso.h"

namespace lv {

namespace {

struct Series {
    std::vector<double> t, m;  // sorted by time
    int size() const { return static_cast<int>(t.size()); }
    // The light curve between the points, joined by straight lines.
    double at(double x) const
    {
        const auto hi = std::upper_bound(t.begin(), t.end(), x);
        if (hi == t.begin()) return m.front();
        if (hi == t.end()) return m.back();
        const std::size_t j = static_cast<std::size_t>(hi - t.begin());
        const double w = (x - t[j - 1]) / (t[j] - t[j - 1]);
        return m[j - 1] + w * (m[j] - m[j - 1]);
    }
    double meanOf(int from, int to) const
    {
        double s = 0;
        for (int i = from; i < to; ++i) s += m[static_cast<std::size_t>(i)];
        return s / (to - from);
    }
};

Series selected(const TimedPoints& p, std::optional<double> from, std::optional<double> to)
{
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < p.time.size() && i < p.magnitude.size(); ++i) {
        if (!std::isfinite(p.time[i]) || !std::isfinite(p.magnitude[i])) continue;
        if ((from && p.time[i] < *from) || (to && p.time[i] > *to)) continue;
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return p.time[a] < p.time[b]; });
    Series s;
    for (std::size_t i : order) {
        // Two points at one instant would make a step of no width: the later is passed over.
        if (!s.t.empty() && p.time[i] <= s.t.back()) continue;
        s.t.push_back(p.time[i]);
        s.m.push_back(p.magnitude[i]);
    }
    return s;
}

// The sum of squared differences of the curve reflected about T, over k = 1 ... pairs.
double reflection(const Series& s, double T, double step, int pairs)
{
    double sum = 0;
    for (int k = 1; k <= pairs; ++k) {
        const double d = s.at(T + k * step) - s.at(T - k * step);
        sum += d * d;
    }
    return sum;
}

// A minimum of light is fainter than both ends of the range.
bool fainterThanTheEnds(const Series& s, double T)
{
    const int n = s.size();
    const int edge = std::max(1, n / 10);
    const double centre = s.at(T);
    return centre > s.meanOf(0, edge) && centre > s.meanOf(n - edge, n);
}

MinimumResult kweeVanWoerden(const Series& s)
{
    const int n = s.size();
    const double step = (s.t.back() - s.t.front()) / (n - 1);
    // The grid point about which the curve is most nearly symmetric, with at
    // least a quarter of the points on each side.
    int best = -1;
    double bestMean = 0;
    for (int j = std::max(2, n / 4); j <= n - 1 - std::max(2, n / 4); ++j) {
        const int pairs = std::min(j, n - 1 - j) - 1;
        if (pairs < 2) continue;
        const double mean = reflection(s, s.t.front() + j * step, step, pairs) / pairs;
        if (best < 0 || mean < bestMean) {
            best = j;
            bestMean = mean;
        }
    }
    if (best < 0) return {std::nullopt, "too few points on each side of the middle of the range"};
    const int pairs = std::min(best, n - 1 - best) - 1;
    double T = s.t.front() + best * step;
    double A = 0, smallest = 0;
    // The parabola through S(T - step), S(T), S(T + step); moved to its vertex and drawn again
    // until the vertex stays within a tenth of a step.
    for (int pass = 0; pass < 8; ++pass) {
        const double low = reflection(s, T - step, step, pairs);
        const double mid = reflection(s, T, step, pairs);
        const double high = reflection(s, T + step, step, pairs);
        A = (high + low - 2 * mid) / (2 * step * step);
        if (!(A > 0)) return {std::nullopt, "the points show no symmetric minimum in the range"};
        const double B = (high - low) / (2 * step);
        const double shift = -B / (2 * A);
        smallest = mid - B * B / (4 * A);
        T += std::clamp(shift, -step, step);
        if (std::fabs(shift) < 0.1 * step) break;
    }
    if (T < s.t.front() + step || T > s.t.back() - step || !fainterThanTheEnds(s, T))
        return {std::nullopt, "no minimum lies inside the range"};
    // Kwee & van Woerden's error, sigma^2 = (4AC - B^2) / (4A^2 (Z - 1)), with
    // Z = N / 4 independent pairs of the N points as they give it (the
    // reflected pairs of interpolated points are not independent: Z = the
    // number of pairs makes the error about half the scatter it should describe).
    const double independent = n / 4.0;
    const double variance = std::max(smallest, 0.0) / (A * (independent - 1));
    return {Minimum{MinimumMethod::KweeVanWoerden, T, std::sqrt(variance), n}, {}};
}

// The residual sum of squares of m = c0 + c1 u^2 + c2 u^4, u = (t - T) / scale; c1 too.
double symmetricFit(const Series& s, double T, double scale, double* c1 = nullptr)
{
    double a[3][4] = {};
    for (int i = 0; i < s.size(); ++i) {
        const double u2 = std::pow((s.t[static_cast<std::size_t>(i)] - T) / scale, 2);
        const double x[3] = {1, u2, u2 * u2};
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) a[r][c] += x[r] * x[c];
            a[r][3] += x[r] * s.m[static_cast<std::size_t>(i)];
        }
    }
    // Gaussian elimination with partial pivoting of the 3 x 3 normal equations.
    for (int c = 0; c < 3; ++c) {
        int p = c;
        for (int r = c + 1; r < 3; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        std::swap(a[c], a[p]);
        if (a[c][c] == 0) return INFINITY;
        for (int r = c + 1; r < 3; ++r) {
            const double f = a[r][c] / a[c][c];
            for (int k = c; k < 4; ++k) a[r][k] -= f * a[c][k];
        }
    }
    double coef[3];
    for (int r = 2; r >= 0; --r) {
        double v = a[r][3];
        for (int k = r + 1; k < 3; ++k) v -= a[r][k] * coef[k];
        coef[r] = v / a[r][r];
    }
    if (c1) *c1 = coef[1];
    double rss = 0;
    for (int i = 0; i < s.size(); ++i) {
        const double u2 = std::pow((s.t[static_cast<std::size_t>(i)] - T) / scale, 2);
        const double r = s.m[static_cast<std::size_t>(i)] - (coef[0] + coef[1] * u2 + coef[2] * u2 * u2);
        rss += r * r;
    }
    return rss;
}

MinimumResult symmetricPolynomial(const Series& s)
{
    const int n = s.size();
    const double t0 = s.t.front(), t1 = s.t.back();
    const double scale = (t1 - t0) / 2;
    // The best centre on a grid over the middle of the range, then a golden-section search about it.
    const int grid = 200;
    double bestT = t0, bestRss = INFINITY;
    for (int g = 0; g <= grid; ++g) {
        const double T = t0 + (t1 - t0) * (0.15 + 0.7 * g / grid);
        const double rss = symmetricFit(s, T, scale);
        if (rss < bestRss) {
            bestRss = rss;
            bestT = T;
        }
    }
    const double cell = (t1 - t0) * 0.7 / grid;
    double lo = bestT - cell, hi = bestT + cell;
    const double golden = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 80; ++i) {
        const double a = hi - golden * (hi - lo), b = lo + golden * (hi - lo);
        if (symmetricFit(s, a, scale) < symmetricFit(s, b, scale)) hi = b;
        else lo = a;
    }
    const double T = (lo + hi) / 2;
    double c1 = 0;
    const double rss = symmetricFit(s, T, scale, &c1);
    // Fainter at the centre: the magnitude falls away on both sides.
    if (!(c1 < 0) || T <= t0 + cell || T >= t1 - cell || !fainterThanTheEnds(s, T))
        return {std::nullopt, "no minimum lies inside the range"};
    // The least-squares error of the centre from the curvature of the residual sum.
    const double h = (t1 - t0) * 1e-3;
    const double curvature = (symmetricFit(s, T + h, scale) - 2 * rss + symmetricFit(s, T - h, scale)) / (h * h);
    if (!(curvature > 0)) return {std::nullopt, "the points show no symmetric minimum in the range"};
    const double variance = 2 * (rss / (n - 4)) / curvature;
    return {Minimum{MinimumMethod::SymmetricPolynomial, T, std::sqrt(variance), n}, {}};
}

// V-C against the JD of each line's own (local) mid-exposure time.
TimedPoints pointsOfLines(const LightCurveTable& table, const std::vector<int>& lines)
{
    TimedPoints p;
    p.scale = "JD (local time)";
    for (int i : lines) {
        const auto jd = aavsoJulianDate(table.lines[static_cast<std::size_t>(i)], 0.0);
        if (!jd) continue;
        p.time.push_back(*jd);
        p.magnitude.push_back(table.var[static_cast<std::size_t>(i)] - table.comp[static_cast<std::size_t>(i)]);
    }
    return p;
}

}  // namespace

TimedPoints pointsOfNightTable(const std::vector<NightRow>& rows)
{
    TimedPoints p;
    auto every = [&](std::optional<double> NightRow::*field) {
        return !rows.empty() && std::all_of(rows.begin(), rows.end(), [&](const NightRow& r) {
            return !r.vMinusC || (r.*field).has_value();
        });
    };
    std::optional<double> NightRow::*field = &NightRow::jdUtc;
    p.scale = "JD";
    if (every(&NightRow::bjdTdb)) {
        field = &NightRow::bjdTdb;
        p.scale = "BJD_TDB";
    } else if (every(&NightRow::hjdUtc)) {
        field = &NightRow::hjdUtc;
        p.scale = "HJD";
    }
    for (const NightRow& r : rows) {
        if (!r.vMinusC || !(r.*field)) continue;
        p.time.push_back(*(r.*field));
        p.magnitude.push_back(*r.vMinusC);
    }
    return p;
}

TimedPoints pointsOfDataFile(const LightCurveTable& table)
{
    std::vector<int> kept;
    for (int i = 0; i < table.count(); ++i)
        if (!table.deleted(i)) kept.push_back(i);
    return pointsOfLines(table, kept);
}

TimedPoints pointsOfVisibleLines(const LightCurveTable& table, const std::optional<std::vector<NightRow>>& rows,
                                 double hourFrom, double hourTo)
{
    std::vector<int> lines;
    for (int i = 0; i < table.count(); ++i) {
        const double hour = table.time[static_cast<std::size_t>(i)];
        if (!table.deleted(i) && hour >= hourFrom && hour <= hourTo) lines.push_back(i);
    }
    if (rows) {
        const std::vector<const NightRow*> of = rowsOfLines(table, *rows);
        std::vector<NightRow> chosen;
        for (int i : lines)
            if (const NightRow* r = of[static_cast<std::size_t>(i)]; r && r->vMinusC) chosen.push_back(*r);
        if (!chosen.empty() && chosen.size() == lines.size()) return pointsOfNightTable(chosen);
    }
    return pointsOfLines(table, lines);
}

MinimumResult timeOfMinimum(const TimedPoints& points, MinimumMethod method, std::optional<double> from,
                            std::optional<double> to)
{
    const Series s = selected(points, from, to);
    if (s.size() < kMinimumPoints)
        return {std::nullopt, "the range holds " + std::to_string(s.size()) + " points; a time of minimum needs at least " +
                                  std::to_string(kMinimumPoints)};
    return method == MinimumMethod::KweeVanWoerden ? kweeVanWoerden(s) : symmetricPolynomial(s);
}

double observedMinusCalculated(double time, double epoch, double period)
{
    const double cycles = std::round((time - epoch) / period);
    return time - (epoch + cycles * period);
}

const char* methodName(MinimumMethod method) { return method == MinimumMethod::KweeVanWoerden ? "kvw" : "poly"; }

std::string minimumLine(const MinimumRecord& r)
{
    std::string star = r.star;
    for (char& c : star)
        if (c == ',') c = ' ';  // the file's separator
    return star + "," + methodName(r.minimum.method) + "," + fixedText(r.minimum.time, 6) + "," +
           fixedText(r.minimum.sigma, 7) + "," + r.scale + "," + plainNumberText(r.minimum.points) + "," +
           fixedText(r.from, 6) + "," + fixedText(r.to, 6) + "," + (r.oc ? fixedText(*r.oc, 6) : std::string()) +
           std::string(kCrLf);
}

bool appendMinimum(const std::string& path, const MinimumRecord& record, std::string& error)
{
    std::string existing;
    const bool fresh = !readWholeFile(path, existing) || existing.empty();
    return appendToFile(path, (fresh ? std::string(kMinimaHeader) + std::string(kCrLf) : std::string()) + minimumLine(record),
                        error);
}

}  // namespace lv
