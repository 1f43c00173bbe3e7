// readCalibrationFile on any bytes. Input: one option byte (bit 0 flat
// instead of dark, bit 1 continuous form, bit 2 BZERO subtracted), then the
// file. A refused file must leave the frame as it was; a read frame must be
// whole and keep the form's rule for values below 0.
#include <cmath>

#include "core/conventions.h"
#include "processing/calibration.h"
#include "fuzz_support.h"

namespace {

bool sameFrame(const lv::CalibrationFrame& a, const lv::CalibrationFrame& b)
{
    return a.naxis1 == b.naxis1 && a.naxis2 == b.naxis2 && a.bitpix == b.bitpix && a.values == b.values &&
           a.exact == b.exact && a.sum == b.sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lv;
    std::string_view input = fuzz::asText(data, size);
    const std::uint8_t flags = fuzz::takeByte(input);
    const CalibrationKind kind = flags & 1 ? CalibrationKind::Flat : CalibrationKind::Dark;
    const CalibrationForm form = flags & 2 ? CalibrationForm::Continuous : CalibrationForm::Single;
    const int bzeroSign = flags & 4 ? -1 : 1;
    const std::string& path = fuzz::scratchPath();
    fuzz::writeFile(path, input);

    // The frame of an earlier read.
    CalibrationFrame before;
    before.naxis1 = 2;
    before.naxis2 = 1;
    before.bitpix = 16;
    before.values = {7, -3};
    before.exact = {7.25, -3.0};
    before.sum = 4;
    CalibrationFrame frame = before;
    ScriptedPlatform platform;
    if (!readCalibrationFile(path, kind, form, bzeroSign, frame, platform)) {
        FUZZ_CHECK(sameFrame(frame, before));
        FUZZ_CHECK(platform.shown.size() == 1 && platform.shown[0].error && !platform.shown[0].text.empty());
        return 0;
    }
    FUZZ_CHECK(platform.shown.empty());
    FUZZ_CHECK(frame.naxis1 >= 1 && frame.naxis1 <= kMaxAxis && frame.naxis2 >= 1 && frame.naxis2 <= kMaxAxis);
    FUZZ_CHECK(frame.bitpix == 8 || frame.bitpix == 16 || frame.bitpix == 32);
    const std::size_t count = static_cast<std::size_t>(frame.naxis1) * static_cast<std::size_t>(frame.naxis2);
    FUZZ_CHECK(frame.values.size() == count);
    const bool keepNegative = form == CalibrationForm::Single && kind == CalibrationKind::Dark;
    FUZZ_CHECK(frame.exact.size() == (keepNegative ? count : 0));
    long long sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t v = frame.values[i];
        sum += v;
        if (!keepNegative) FUZZ_CHECK(v >= 0);
        // Without wrapping the stored value is the exact one rounded.
        if (keepNegative && frame.bitpix == 32) FUZZ_CHECK(roundHalfEven(frame.exact[i]) == static_cast<double>(v));
    }
    FUZZ_CHECK(frame.sum == sum);
    // A second read of the same file gives the same frame.
    CalibrationFrame again;
    FUZZ_CHECK(readCalibrationFile(path, kind, form, bzeroSign, again, platform));
    FUZZ_CHECK(sameFrame(frame, again));
    return 0;
}
