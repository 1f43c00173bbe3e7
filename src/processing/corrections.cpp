#include "processing/corrections.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>

#include "core/conventions.h"
#include "core/vector_clones.h"
#include "processing/inclination.h"

namespace lv {

namespace {

std::int32_t rounded(double v) { return toInt32Saturated(roundHalfEven(v)); }

LV_VECTOR_CLONES void nonZeroExtremes(const std::int32_t* v, std::size_t n, std::int32_t& mn, std::int32_t& mx)
{
    std::int32_t lo = mn, hi = mx;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t zero = -static_cast<std::int32_t>(v[i] == 0);
        const std::int32_t forMin = (v[i] & ~zero) | (std::numeric_limits<std::int32_t>::max() & zero);
        const std::int32_t forMax = (v[i] & ~zero) | (std::numeric_limits<std::int32_t>::min() & zero);
        lo = forMin < lo ? forMin : lo;
        hi = forMax > hi ? forMax : hi;
    }
    mn = lo;
    mx = hi;
}

void track(std::int32_t v, std::int32_t& mn, std::int32_t& mx)
{
    mn = std::min(mn, v);
    mx = std::max(mx, v);
}

// The text of a bow.csv record as a number: the whole field must be one.
std::optional<double> fieldNumber(const std::string& field) { return decimalNumber(field, " \t"); }

}  // namespace

void extremesIgnoringZero(FitsImage& image)
{
    std::int32_t mn = std::numeric_limits<std::int32_t>::max();
    std::int32_t mx = -1;
    if (image.loaded())
        nonZeroExtremes(image.plane(0), static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2),
                        mn, mx);
    image.minValue = mn;
    image.maxValue = mx;
}

bool limbDarkening(FitsImage& image, UndoBuffer& undo, FitState& fit, std::int32_t& lineRow, Platform& platform)
{
    if (!image.loaded()) {
        platform.message(kNoImageMessage);
        return false;
    }
    if (!platform.askOkCancel("Limb Darkening Correction")) return false;
    BusyPointer busy(platform);
    const ColumnPowers powers = columnPowers(image.naxis1);
    // Every row's fit and its values are checked before a pixel changes, so
    // a refusal leaves the image as it was.
    std::vector<FitMatrix> fits(static_cast<std::size_t>(image.naxis2));
    for (int r = 0; r < image.naxis2; ++r) {
        if (!fitRow(image, r, 5, powers, fits[static_cast<std::size_t>(r)])) {
            platform.error(kZeroPivotMessage);
            return false;
        }
        for (int x = 0; x < image.naxis1; ++x)
            if (fittedValue(fits[static_cast<std::size_t>(r)], 5, powers.powers[static_cast<std::size_t>(x)]) == 0) {
                platform.error("The fitted curve of row" + numberText(r) + " is 0 at column" + numberText(x) +
                                 ": nothing was changed");
                return false;
            }
    }
    undo.takeSnapshot(image);
    fit.degree = 5;
    for (int r = 0; r < image.naxis2; ++r) {
        lineRow = r;
        fit.matrix = fits[static_cast<std::size_t>(r)];
        std::int32_t* row = &image.at(0, r);
        std::int64_t sum = 0;  // 64 bits: a long row of large values must not wrap
        for (int x = 0; x < image.naxis1; ++x) sum += row[x];
        const double mean = roundHalfEven(static_cast<double>(sum) / image.naxis1);
        for (int x = 0; x < image.naxis1; ++x) {
            const double p = fittedValue(fit.matrix, 5, powers.powers[static_cast<std::size_t>(x)]);
            row[x] = rounded(row[x] / p * mean);
        }
    }
    image.settleBlanks();
    extremesIgnoringZero(image);
    return true;
}

std::optional<std::vector<BowShift>> readBowTable(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": the bow table cannot be opened";
        return std::nullopt;
    }
    std::vector<BowShift> out;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const std::string where = path + " line" + numberText(number) + ": ";
        const std::size_t comma = line.find(',');
        const auto row = comma == std::string::npos ? std::nullopt : fieldNumber(line.substr(0, comma));
        const auto shift = comma == std::string::npos ? std::nullopt : fieldNumber(line.substr(comma + 1));
        if (!row || !shift) {
            error = where + "\"" + line + "\" is not a row and a shift";
            return std::nullopt;
        }
        const double index = roundHalfEven(*row);
        if (index < 0 || index > kMaxAxis - 1) {
            error = where + "row" + numberText(*row) + " is outside 0 ... 3072";
            return std::nullopt;
        }
        out.push_back({static_cast<int>(index), *shift});
    }
    if (in.bad()) {
        error = path + ": the bow table cannot be read";
        return std::nullopt;
    }
    return out;
}

namespace {

// The value at x - f by linear interpolation, rounded halves up, for x >= 1.
LV_VECTOR_CLONES void interpolateRow(const std::int32_t* __restrict b, std::int32_t* __restrict out, int n, double f)
{
    for (int x = 1; x < n; ++x) {
        const double v = std::floor(b[x] - f * (static_cast<double>(b[x]) - b[x - 1]) + 0.5);
        // Between two 32-bit values, so inside the range.
        out[x] = static_cast<std::int32_t>(v);
    }
}

}  // namespace

void applyBow(FitsImage& image, const std::vector<BowShift>& shifts)
{
    // A row listed twice takes its last value.
    std::vector<double> table(static_cast<std::size_t>(kMaxAxis), 0.0);
    for (const BowShift& b : shifts) table[static_cast<std::size_t>(b.row)] = b.shift;
    const int n = image.naxis1;
    std::vector<std::int32_t> copy(static_cast<std::size_t>(n));
    for (int y = 0; y < image.naxis2 && y < kMaxAxis; ++y) {
        const double s = table[static_cast<std::size_t>(y)];
        if (s == 0) continue;
        std::int32_t* row = &image.at(0, y);
        std::uint8_t* blank = image.hasBlanks() ? image.blanks.data() + image.index(0, y) : nullptr;
        const double f = s - std::floor(s);
        if (f != 0) {
            std::copy(row, row + n, copy.begin());
            interpolateRow(copy.data(), row, n, f);
            // A value taken from a blank one is blank.
            if (blank)
                for (int x = n - 1; x >= 1; --x) blank[x] = static_cast<std::uint8_t>(blank[x] | blank[x - 1]);
        }
        const double whole = std::floor(s);
        if (std::fabs(whole) >= n) continue;
        // Moving the row by whole columns; the columns nothing moves into keep their values.
        const int by = static_cast<int>(whole);
        if (by > 0)
            std::memmove(row + by, row, static_cast<std::size_t>(n - by) * sizeof(std::int32_t));
        else if (by < 0)
            std::memmove(row, row - by, static_cast<std::size_t>(n + by) * sizeof(std::int32_t));
        if (blank && by > 0) std::memmove(blank + by, blank, static_cast<std::size_t>(n - by));
        if (blank && by < 0) std::memmove(blank, blank - by, static_cast<std::size_t>(n + by));
    }
}

bool bowCorrection(FitsImage& image, UndoBuffer& undo, const std::string& bowPath, Platform& platform)
{
    if (!image.loaded()) {
        platform.message(kNoImageMessage);
        return false;
    }
    if (!platform.askOkCancel("OK or Cancel", "Bow Correction")) return false;
    std::string error;
    const auto shifts = readBowTable(bowPath, error);
    if (!shifts) {
        platform.error(error);
        return false;
    }
    BusyPointer busy(platform);
    undo.takeSnapshot(image);
    applyBow(image, *shifts);
    image.settleBlanks();
    extremesIgnoringZero(image);
    return true;
}

void calculate(FitsImage& image, UndoBuffer& undo, AppState& state, Calculation op, double a, bool wholeFile)
{
    undo.takeSnapshot(image);
    std::int32_t mn = std::numeric_limits<std::int32_t>::max();
    std::int32_t mx = -1;
    if (image.loaded()) {
        std::int32_t* p = image.plane(0);
        const std::size_t count = static_cast<std::size_t>(image.naxis1) * static_cast<std::size_t>(image.naxis2);
        for (std::size_t i = 0; i < count; ++i) {
            p[i] = rounded(op == Calculation::Addition ? p[i] + a : p[i] * a);
            if (!image.isBlank(i)) track(p[i], mn, mx);
        }
        image.settleBlanks();
    }
    image.minValue = mn;
    image.maxValue = mx;
    state.readCalcMode = wholeFile && op == Calculation::Multiplication ? 1 : 0;
    state.readCalcValue = wholeFile ? a : 0.0;
}

void compensateAllRows(FitsImage& image, UndoBuffer& undo, std::int32_t& lineRow, const std::function<void(int)>& row)
{
    undo.takeSnapshot(image);
    std::int32_t mn = std::numeric_limits<std::int32_t>::max();
    std::int32_t mx = -1;
    for (int r = 0; r < image.naxis2; ++r) {
        lineRow = r;
        if (row) row(r);
        compensateInclination(image, r);  // a blank value, 0, stays 0
        const std::int32_t* v = &image.at(0, r);
        for (int x = 0; x < image.naxis1; ++x)
            if (!image.isBlank(x, r)) track(v[x], mn, mx);
    }
    image.minValue = mn;
    image.maxValue = mx;
}

}  // namespace lv
