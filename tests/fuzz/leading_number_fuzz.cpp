// leadingNumber on any text, against the C library's strtod where the text
// holds nothing but number characters and blanks (the two grammars are then
// the same once blanks are dropped and D is read as E), and the number
// texts we write read back by it.
#include <cmath>
#include <cstring>

#include "core/conventions.h"
#include "fuzz_support.h"

namespace {

bool same(double a, double b)
{
    // Values in the subnormal range may be flushed to 0 by either side.
    if (std::fabs(a) < 1e-300 && std::fabs(b) < 1e-300) return true;
    return a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace lv;
    const std::string_view text = fuzz::asText(data, size);
    const double v = leadingNumber(text);
    FUZZ_CHECK(!std::isnan(v));
    FUZZ_CHECK(same(leadingNumber(text), v));
    // Blanks in front and a character that cannot continue a number behind
    // change nothing.
    FUZZ_CHECK(same(leadingNumber(" \t" + std::string(text) + ","), v));
    const std::size_t first = text.find_first_not_of(" \t\n");
    if (first == std::string_view::npos || (text[first] != '+' && text[first] != '-'))
        FUZZ_CHECK(same(leadingNumber("-" + std::string(text)), -v));

    if (text.find_first_not_of("0123456789+-.eEdD \t\n") == std::string_view::npos) {
        std::string plain;
        for (char c : text)
            if (c != ' ' && c != '\t' && c != '\n') plain += c == 'd' || c == 'D' ? 'e' : c;
        const double expected = std::strtod(plain.c_str(), nullptr);
        if (!same(v, expected))
            std::fprintf(stderr, "leadingNumber(\"%.*s\") = %.17g, strtod gives %.17g\n", static_cast<int>(size),
                         text.data(), v, expected);
        FUZZ_CHECK(same(v, expected));
    }

    // The exact form reads back as the same value; the plain form to 15 digits.
    if (size >= sizeof(double)) {
        double x;
        std::memcpy(&x, data, sizeof x);
        if (std::isnormal(x) || x == 0) FUZZ_CHECK(leadingNumber(exactNumberText(x)) == x);
        // Rounded to 15 digits, DBL_MAX and DBL_MIN fall out of the normal range.
        if (x == 0 || (std::fabs(x) > 1e-300 && std::fabs(x) < 1e300)) {
            const double shown = leadingNumber(numberText(x));
            FUZZ_CHECK(std::fabs(shown - x) <= std::fabs(x) * 1e-14);
        }
    }
    return 0;
}
