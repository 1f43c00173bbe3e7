// readMagEst on any bytes. The table must be consistent with itself (one
// entry per line in every column, ranges over what was read, times within
// what two-character fields can give), and "Save to 'mag_est.txt'" followed
// by a new read must give the same table.
#include <algorithm>

#include "lightcurve/mag_est.h"
#include "fuzz_support.h"

namespace {

void checkTable(const lv::LightCurveTable& t)
{
    const std::size_t n = t.lines.size();
    FUZZ_CHECK(n <= static_cast<std::size_t>(lv::LightCurveTable::kCapacity));
    for (const auto* column : {&t.time, &t.check, &t.comp, &t.var}) FUZZ_CHECK(column->size() == n);
    for (const auto* column : {&t.hasTime, &t.hasCheck, &t.hasComp, &t.hasVar}) FUZZ_CHECK(column->size() == n);
    double minTime = 99, maxTime = -99, minV = 99, maxV = -99;
    for (std::size_t i = 0; i < n; ++i) {
        FUZZ_CHECK(t.lines[i].size() >= 8 && t.lines[i].compare(5, 3, " : ") == 0);
        FUZZ_CHECK(t.lines[i].find_first_of("\r\n") == std::string::npos);
        (void)lv::listTextOf(t.lines[i]);
        // Hours, minutes and seconds are read from two characters each, and
        // hours before noon belong to the next day.
        if (t.hasTime[i]) {
            FUZZ_CHECK(t.time[i] >= 12 && t.time[i] <= 99 + 99.0 / 60 + 99.0 / 3600);
            minTime = std::min(minTime, t.time[i]);
            maxTime = std::max(maxTime, t.time[i]);
        }
        if (t.hasVar[i]) {
            minV = std::min(minV, t.var[i]);
            maxV = std::max(maxV, t.var[i]);
        }
        FUZZ_CHECK(t.hasTime[i] || !t.hasCheck[i]);
        FUZZ_CHECK(t.hasCheck[i] || !t.hasComp[i]);
        FUZZ_CHECK(t.hasComp[i] || !t.hasVar[i]);
    }
    FUZZ_CHECK(minTime == t.minTime && maxTime == t.maxTime);
    FUZZ_CHECK(minV == t.minV && maxV == t.maxV);
    FUZZ_CHECK(t.comment.empty() || t.comment[0] == ';');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lv;
    const std::string& path = fuzz::scratchPath();
    fuzz::writeFile(path, fuzz::asText(data, size));
    LightCurveTable first;
    const MagEstRead r1 = readMagEst(path, first);
    FUZZ_CHECK(r1.opened && r1.error.empty());
    checkTable(first);

    const std::string saved = magEstText(first);
    fuzz::writeFile(path, saved);
    LightCurveTable second;
    const MagEstRead r2 = readMagEst(path, second);
    FUZZ_CHECK(r2.opened && !r2.truncated);
    checkTable(second);
    FUZZ_CHECK(second.lines == first.lines && second.comment == first.comment);
    FUZZ_CHECK(second.time == first.time && second.check == first.check && second.comp == first.comp &&
               second.var == first.var);
    FUZZ_CHECK(magEstText(second) == saved);
    return 0;
}
