#include "core/shift_jis.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

#include <vector>

namespace lv {

#ifdef _WIN32

std::optional<std::string> toShiftJis(std::string_view text, std::string* bad)
{
    if (text.empty()) return std::string();
    const int n = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
    if (wide <= 0) {
        if (bad) *bad = std::string(text);
        return std::nullopt;
    }
    std::vector<wchar_t> w(static_cast<std::size_t>(wide));
    MultiByteToWideChar(CP_ACP, 0, text.data(), n, w.data(), wide);
    BOOL lost = FALSE;
    const int bytes = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, w.data(), wide, nullptr, 0, nullptr, &lost);
    if (bytes <= 0 || lost) {
        if (bad) *bad = std::string(text);
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

#else

namespace {

struct Converter {
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    Converter()
    {
        // CP932 is what Japanese Windows writes; plain SHIFT_JIS where the
        // C library lacks it.
        cd = iconv_open("CP932", "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("SHIFT_JIS", "UTF-8");
    }
    ~Converter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
};

// The UTF-8 character starting at `at` (one byte when it is malformed).
std::string characterAt(std::string_view s, std::size_t at)
{
    const unsigned char c = static_cast<unsigned char>(s[at]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    return std::string(s.substr(at, n));
}

}  // namespace

std::optional<std::string> toShiftJis(std::string_view text, std::string* bad)
{
    Converter conv;
    if (conv.cd == reinterpret_cast<iconv_t>(-1)) {
        if (bad) *bad = std::string(text);
        return std::nullopt;
    }
    std::string out(text.size() * 2 + 8, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(conv.cd, &in, &inLeft, &dst, &outLeft) == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                const std::size_t used = static_cast<std::size_t>(dst - out.data());
                out.resize(out.size() * 2);
                dst = out.data() + used;
                outLeft = out.size() - used;
                continue;
            }
            if (bad) *bad = characterAt(text, text.size() - inLeft);
            return std::nullopt;
        }
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

#endif

}  // namespace lv
