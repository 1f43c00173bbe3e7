// readSettings on any bytes. Text lines come back as they stand, and once
// read and written the settings must survive the next save and load
// unchanged: the application rewrites the file at every exit.
#include <cmath>

#include "core/settings.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lv;
    const std::string_view input = fuzz::asText(data, size);
    const std::string& path = fuzz::scratchPath();
    fuzz::writeFile(path, input);
    AppSettings first;
    FUZZ_CHECK(readSettings(path, first));

    // Line 1 as the file has it, without its line end.
    std::string line1(input.substr(0, input.find('\n')));
    if (!line1.empty() && line1.back() == '\r') line1.pop_back();
    FUZZ_CHECK(first.observerCode == line1);

    // Nothing read may be infinite: it could not be written back
    // (regressions/settings).
    FUZZ_CHECK(std::isfinite(first.axisStart) && std::isfinite(first.axisEnd) && std::isfinite(first.timeZoneHours));
    for (const WindowPosition& w : first.windows) FUZZ_CHECK(std::isfinite(w.left) && std::isfinite(w.top));

    const std::string written = settingsText(first);
    fuzz::writeFile(path, written);
    AppSettings second;
    FUZZ_CHECK(readSettings(path, second));
    if (settingsText(second) != written)
        std::fprintf(stderr, "written:\n%s\nafter reading it back:\n%s\n", written.c_str(), settingsText(second).c_str());
    FUZZ_CHECK(settingsText(second) == written);
    for (std::size_t w = 0; w < second.windows.size(); ++w) FUZZ_CHECK(second.windows[w].known);
    return 0;
}
