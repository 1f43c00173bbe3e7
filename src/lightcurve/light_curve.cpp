#include "lightcurve/light_curve.h"

#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "display/raster.h"

namespace lv {

namespace {

int floorInt(double v)
{
    if (!(v > -2e9)) return -2000000000;  // also NaN
    if (v > 2e9) return 2000000000;
    return static_cast<int>(std::floor(v));
}

// Int(span * (v - from) / (to - from) + 0.5) from the origin; a range of no
// width (axes typed so) is taken as one unit wide instead of dividing by 0.
int scaled(int origin, int span, double v, double from, double to)
{
    const double width = to - from == 0 ? 1.0 : to - from;
    return origin + floorInt(span * (v - from) / width + 0.5);
}

}  // namespace

LightCurveAxes automaticAxes(const LightCurveTable& t)
{
    LightCurveAxes a;
    a.ranges.hourStart = t.minTime;
    a.ranges.hourEnd = t.maxTime;
    a.ranges.ckStart = t.minCK;
    a.ranges.ckEnd = t.maxCK;
    a.ranges.vcStart = t.minVC;
    a.ranges.vcEnd = t.maxVC;
    a.ranges.ckStep = a.ranges.vcStep = 0.5;
    a.autoCopy = a.ranges;
    a.manual = false;
    return a;
}

double photometryError(const LightCurveTable& t)
{
    double sum = 0;
    int k = 0;
    for (int i = 0; i < t.count(); ++i)
        if (!t.deleted(i)) {
            sum += t.comp[static_cast<std::size_t>(i)] - t.check[static_cast<std::size_t>(i)];
            ++k;
        }
    // With every point deleted there is nothing to average.
    if (k == 0) return 0.0;
    const double mean = sum / k;
    double squares = 0;
    for (int i = 0; i < t.count(); ++i)
        if (!t.deleted(i)) {
            const double d = t.comp[static_cast<std::size_t>(i)] - t.check[static_cast<std::size_t>(i)];
            squares += (mean - d) * (mean - d);
        }
    return std::sqrt(squares / k);
}

std::string photometryErrorText(double error) { return "Photometry error = " + formatPattern(error, "#0.0000"); }

void setDeleted(LightCurveTable& t, int line, bool deleted)
{
    if (line < 0 || line >= t.count()) return;
    std::string& l = t.lines[static_cast<std::size_t>(line)];
    if (!l.empty()) l[0] = deleted ? 'x' : ' ';
}

void toggleMark(LightCurveTable& t, int line)
{
    if (line >= 0 && line < t.count()) setDeleted(t, line, !t.deleted(line));
}

std::vector<std::string> listTexts(const LightCurveTable& t)
{
    std::vector<std::string> out;
    out.reserve(t.lines.size());
    for (const std::string& l : t.lines) out.push_back(listTextOf(l));
    return out;
}

int lineOfListItem(const LightCurveTable& t, const std::string& item)
{
    for (int i = 0; i < t.count(); ++i)
        if (t.lines[static_cast<std::size_t>(i)].compare(0, item.size(), item) == 0) return i;
    return -1;
}

AxisFields openAxisDialog(LightCurveAxes& axes)
{
    AxisRanges& r = axes.ranges;
    AxisFields f;
    auto tenths = [](double v) { return std::floor(10 * v) / 10; };
    f.hourStart = std::floor(r.hourStart);
    f.hourEnd = std::floor(r.hourEnd) + 1;
    f.ckStart = tenths(r.ckStart);
    f.vcStart = tenths(r.vcStart);
    if (!axes.manual) {
        f.ckEnd = (std::floor(10 * r.ckEnd) + 1) / 10;
        f.vcEnd = (std::floor(10 * r.vcEnd) + 1) / 10;
    } else {
        f.ckEnd = std::floor(10 * r.ckEnd + 0.5) / 10;
        f.vcEnd = std::floor(10 * r.vcEnd + 0.5) / 10;
    }
    f.ckStep = r.ckStep / 10;
    f.vcStep = r.vcStep / 10;
    r.hourStart = f.hourStart;
    r.ckStart = f.ckStart;
    r.vcStart = f.vcStart;
    if (!axes.manual) {
        r.hourEnd = f.hourEnd;
        r.ckEnd = f.ckEnd;
        r.vcEnd = f.vcEnd;
    }
    return f;
}

void acceptAxisDialog(LightCurveAxes& axes, const AxisFields& f)
{
    AxisRanges& r = axes.ranges;
    r.hourStart = f.hourStart;
    r.hourEnd = f.hourEnd - 1;
    r.ckStart = f.ckStart;
    r.ckEnd = std::floor(10 * f.ckEnd + 0.5) / 10;
    r.vcStart = f.vcStart;
    r.vcEnd = std::floor(10 * f.vcEnd + 0.5) / 10;
    r.ckStep = 10 * f.ckStep;
    r.vcStep = 10 * f.vcStep;
    axes.manual = true;
}

void autoScale(LightCurveAxes& axes)
{
    axes.ranges = axes.autoCopy;
    axes.manual = false;
}

GraphDrawing drawGraph(const LightCurveTable& t, const LightCurveAxes& axes, Graph graph, int width, int height)
{
    GraphDrawing d;
    d.width = width;
    d.height = height;
    const AxisRanges& r = axes.ranges;
    const int x0 = floorInt(0.05 * width + 0.5), w = floorInt(0.9 * width + 0.5);
    const int y0 = floorInt(0.05 * height + 0.5), h = floorInt(0.9 * height + 0.5);
    const int h0 = floorInt(r.hourStart), h1 = floorInt(r.hourEnd) + 1;
    const double s0 = graph == Graph::CK ? r.ckStart : r.vcStart;
    const double s1 = graph == Graph::CK ? r.ckEnd : r.vcEnd;
    const double step = graph == Graph::CK ? r.ckStep : r.vcStep;
    const int m0 = floorInt(10 * s0);
    const int m1 = floorInt(10 * s1) + (axes.manual ? 0 : 1);

    d.texts.push_back({width - 25, 5, graph == Graph::CK ? "C-K" : "V-C", kGraphRed});
    // A step of 0 or less would never reach the end: only the first line then.
    for (double m = m0; m <= m1; m += step) {
        const int y = scaled(y0, h, m, m0, m1);
        d.grid.push_back({x0, y, x0 + w, y});
        if (!(step > 0)) break;
    }
    for (int m = m0; m <= m1; ++m)
        d.texts.push_back({5, scaled(y0, h, m, m0, m1) - 5, numberText(m / 10.0), kGraphBlack});
    for (int hour = h0; hour <= h1; ++hour) {
        const int x = scaled(x0, w, hour, h0, h1);
        d.grid.push_back({x, y0, x, y0 + h});
        if (graph == Graph::VC) d.texts.push_back({x, height - 25, numberText(hour), kGraphBlack});
    }
    for (int i = 0; i < t.count(); ++i) {
        if (t.deleted(i)) continue;
        const std::size_t k = static_cast<std::size_t>(i);
        const double diff = graph == Graph::CK ? t.comp[k] - t.check[k] : t.var[k] - t.comp[k];
        const int x = scaled(x0, w, t.time[k], h0, h1);
        const bool saturated = k < t.saturated.size() && t.saturated[k];
        d.points.push_back({i, x, scaled(y0, h, 10 * diff, m0, m1), saturated});
        if (graph == Graph::VC && k < t.vcError.size() && t.vcError[k] > 0)
            d.errorBars.push_back({x, scaled(y0, h, 10 * (diff - t.vcError[k]), m0, m1), x,
                                   scaled(y0, h, 10 * (diff + t.vcError[k]), m0, m1)});
    }
    return d;
}

PointPositions pointPositions(const GraphDrawing& drawing, int lines)
{
    PointPositions p;
    p.x.assign(static_cast<std::size_t>(std::max(lines, 0)), -99);
    p.y.assign(static_cast<std::size_t>(std::max(lines, 0)), -99);
    for (const GraphPoint& g : drawing.points)
        if (g.line >= 0 && g.line < lines) {
            p.x[static_cast<std::size_t>(g.line)] = g.x;
            p.y[static_cast<std::size_t>(g.line)] = g.y;
        }
    return p;
}

int pointAt(const PointPositions& p, int x, int y)
{
    for (std::size_t i = 0; i < p.x.size(); ++i) {
        if (p.x[i] == -99 && p.y[i] == -99) continue;
        if (std::abs(p.x[i] - x) <= 1 && std::abs(p.y[i] - y) <= 1) return static_cast<int>(i);
    }
    return -1;
}

RgbPicture renderGraph(const GraphDrawing& d)
{
    RgbPicture pic(std::max(d.width, 1), std::max(d.height, 1), kGraphWhite);
    for (const GraphLine& l : d.grid) drawLine(pic, l.x0, l.y0, l.x1, l.y1, kGraphBlack);
    for (const GraphText& t : d.texts) drawText(pic, t.x, t.y, t.text, t.colour);
    for (const GraphLine& l : d.errorBars) drawLine(pic, l.x0, l.y0, l.x1, l.y1, kGraphBlue);
    for (const GraphPoint& p : d.points) drawPoint(pic, p.x, p.y, 3, p.saturated ? kGraphMagenta : kGraphGreen);
    return pic;
}

}  // namespace lv
