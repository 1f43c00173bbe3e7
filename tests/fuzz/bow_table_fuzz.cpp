// readBowTable on any bytes, and the table applied to a small image. A read
// table holds one entry per record with its row inside the image model; a
// refused one names the file. Shifting a row moves and interpolates its
// values, so each row keeps within the range it had.
#include <algorithm>
#include <cmath>
#include <limits>

#include "processing/corrections.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lv;
    const std::string_view input = fuzz::asText(data, size);
    const std::string& path = fuzz::scratchPath();
    fuzz::writeFile(path, input);
    std::string error;
    const auto table = readBowTable(path, error);
    if (!table) {
        FUZZ_CHECK(error.starts_with(path));
        return 0;
    }
    FUZZ_CHECK(error.empty());
    std::size_t records = 0;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        if (input.substr(start, end - start).find_first_not_of(" \t\r") != std::string_view::npos) ++records;
        start = end + 1;
    }
    FUZZ_CHECK(table->size() == records);
    for (const BowShift& b : *table) {
        FUZZ_CHECK(b.row >= 0 && b.row < kMaxAxis);
        FUZZ_CHECK(std::isfinite(b.shift));
    }

    FitsImage image;
    image.allocate(9, 4, 1);
    const std::int32_t pattern[] = {0, 7, -3, 65535, std::numeric_limits<std::int32_t>::max(),
                                    std::numeric_limits<std::int32_t>::min(), 12, 12, 5};
    for (int y = 0; y < image.naxis2; ++y)
        for (int x = 0; x < image.naxis1; ++x) image.at(x, y) = pattern[(x + 3 * y) % 9];
    const FitsImage before = image;
    applyBow(image, *table);
    for (int y = 0; y < image.naxis2; ++y) {
        const std::int32_t* row = before.pixels.data() + before.index(0, y);
        const auto [lo, hi] = std::minmax_element(row, row + before.naxis1);
        for (int x = 0; x < image.naxis1; ++x) FUZZ_CHECK(image.at(x, y) >= *lo && image.at(x, y) <= *hi);
    }
    return 0;
}
