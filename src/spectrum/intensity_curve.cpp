#include "spectrum/intensity_curve.h"

#include <cmath>
#include <limits>

#include "core/conventions.h"
#include "core/file_replace.h"

namespace lv {

bool binImage(FitsImage& image, UndoBuffer& undo, const BinZones& zones, Platform& platform,
              const std::function<void()>& binned)
{
    std::vector<BinZone> used;
    for (const BinZone& z : zones)
        if (z.used()) used.push_back(z);
    if (used.empty()) {
        platform.message(kNoZoneMessage);
        return false;
    }
    for (const BinZone& z : used)
        if (z.upper < 0 || z.lower >= image.naxis2) {
            platform.error("Rows" + numberText(z.upper) + " ..." + numberText(z.lower) +
                             " are not all inside the image: nothing was changed");
            return false;
        }
    // Every column's running sums are checked before a pixel changes.
    const int n = image.naxis1;
    std::vector<std::int64_t> totals(static_cast<std::size_t>(n), 0);
    std::int32_t mn = 100000000;
    std::int32_t mx = image.maxValue;
    // A column whose zones hold a blank pixel is blank over the zones.
    std::vector<std::uint8_t> blankColumn(static_cast<std::size_t>(n), 0);
    if (image.hasBlanks())
        for (int x = 0; x < n; ++x)
            for (const BinZone& z : used)
                for (int y = z.upper; y <= z.lower; ++y)
                    if (image.isBlank(x, y)) blankColumn[static_cast<std::size_t>(x)] = 1;
    for (int x = 0; x < n; ++x) {
        std::int64_t s = 0;
        if (blankColumn[static_cast<std::size_t>(x)]) continue;
        for (const BinZone& z : used) {
            for (int y = z.upper; y <= z.lower; ++y) s += image.at(x, y);
            if (s > std::numeric_limits<std::int32_t>::max() || s < std::numeric_limits<std::int32_t>::min()) {
                platform.error("The sum of column" + numberText(x) +
                                 " is beyond the 32-bit range: nothing was changed");
                return false;
            }
            mn = std::min(mn, static_cast<std::int32_t>(s));
            mx = std::max(mx, static_cast<std::int32_t>(s));
        }
        totals[static_cast<std::size_t>(x)] = s;
    }
    undo.takeSnapshot(image);
    for (int x = 0; x < n; ++x)
        for (const BinZone& z : used)
            for (int y = z.upper; y <= z.lower; ++y) {
                image.at(x, y) = static_cast<std::int32_t>(totals[static_cast<std::size_t>(x)]);
                if (blankColumn[static_cast<std::size_t>(x)]) image.blanks[image.index(x, y)] = 1;
            }
    image.minValue = mn;
    image.maxValue = mx;
    if (binned) binned();
    platform.message("Completion\rmax =" + numberText(mx) + " / min =" + numberText(mn));
    return true;
}

int lineUp(int row) { return std::max(row - 1, 0); }
int lineDown(int row, const FitsImage& image) { return std::min(row + 1, std::max(image.naxis2 - 1, 0)); }

std::vector<CurveSegment> curveSegments(const FitsImage& image, int row, int offset)
{
    std::vector<CurveSegment> out;
    if (!image.loaded() || row < 0 || row >= image.naxis2) return out;
    // A maximum of 0 would divide by 0: the curve lies at the bottom then.
    const double max = image.maxValue == 0 ? 1.0 : image.maxValue;
    auto y = [&](int x) {
        const double h = std::floor((image.at(x, row) - static_cast<double>(image.minValue)) / max * 256 + 0.5) + offset;
        return 255 - h;
    };
    out.reserve(static_cast<std::size_t>(std::max(image.naxis1 - 1, 0)));
    for (int x = 1; x < image.naxis1; ++x) out.push_back({x - 1.0, y(x - 1), static_cast<double>(x), y(x)});
    return out;
}

std::string defaultCurveName(const std::string& fileName)
{
    if (fileName.size() <= 3) return "binning.txt";
    return fileName.substr(0, fileName.size() - 3) + "txt";
}

std::array<std::string, 3> curveFileNames(const std::string& name)
{
    const std::string djm = name.size() >= 3 ? name.substr(0, name.size() - 3) : std::string();
    const std::string inv = name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string();
    return {name, djm + "djm", inv + "-inv.djm"};
}

std::string curveFileText(const FitsImage& image, int row, const CurveFileSettings& s, int which)
{
    std::string out;
    const int n = image.naxis1;
    const double step = n > 1 ? (s.end - s.start) / (n - 1) : 0.0;
    for (int x = 0; x < n; ++x) {
        PrintLine line;
        if (s.wavelength)
            line.text(formatPattern(s.start + x * step, "####.### "));
        else
            line.number(x, true);
        line.nextZone();
        const double v = image.value(x, row);
        line.number(which == 1 ? -v : v, true);
        out += line.str();
        out += kCrLf;
    }
    return out;
}

bool saveCurveFiles(const FitsImage& image, int row, const CurveFileSettings& s, Platform& platform)
{
    if (!image.loaded() || row < 0 || row >= image.naxis2) {
        platform.message(kNoImageMessage);
        return false;
    }
    const auto names = curveFileNames(s.name);
    for (int which = 0; which < 3; ++which) {
        std::string error;
        if (!replaceFileWith(names[static_cast<std::size_t>(which)], curveFileText(image, row, s, which), error)) {
            platform.error(error);
            return false;
        }
    }
    platform.message("Completion ,save to " + s.name);
    return true;
}

}  // namespace lv
