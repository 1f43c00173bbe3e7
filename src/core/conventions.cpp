#include "core/conventions.h"

#include <cstdio>

#include <algorithm>
#include <string>
#include <cstdlib>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace lv {

double roundHalfEvenSlow(double v)
{
    if (!std::isfinite(v)) return v;
    const double lower = std::floor(v);
    const double diff = v - lower;  // exact for every double
    if (diff > 0.5) return lower + 1.0;
    if (diff < 0.5) return lower;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::int32_t toInt32Saturated(double v)
{
    if (std::isnan(v)) return 0;
    const double r = roundHalfEven(v);
    if (r <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    if (r >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

double intFloor(double v) { return std::floor(v); }

double roundMagnitude(double v, int digits)
{
    const double scale = std::pow(10.0, digits);
    return std::floor(v * scale + 0.5) / scale;
}

// ---- numbers as text --------------------------------------------------------

namespace {

// Fifteen significant decimal digits of |v| (v finite, not zero) and the
// decimal exponent of the first one: |v| ~ d0.d1d2... x 10^exponent.
struct Decimal15 {
    std::array<char, 15> digits{};
    int exponent = 0;
};

Decimal15 decimal15(double v)
{
    std::array<char, 40> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v),
                                   std::chars_format::scientific, 14);
    Decimal15 d;
    const char* p = buf.data();
    int n = 0;
    for (; p < res.ptr && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9' && n < 15) d.digits[static_cast<std::size_t>(n++)] = *p;
    }
    int exp = 0;
    if (p < res.ptr) std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, exp);
    d.exponent = exp;
    return d;
}

std::string withSignSpace(const std::string& body, bool negative)
{
    std::string out(1, negative ? '-' : ' ');
    out += body;
    return out;
}

std::string plainBody(double v)
{
    // Like printf("%.15G") with the leading zero of "0.5" dropped.
    std::array<char, 48> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v),
                                   std::chars_format::general, 15);
    std::string s(buf.data(), res.ptr);
    for (char& c : s) {
        if (c == 'e') c = 'E';
    }
    if (s.size() > 1 && s[0] == '0' && s[1] == '.') s.erase(0, 1);
    return s;
}

}  // namespace

std::string plainNumberText(double v)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
    if (v == 0.0) return "0";
    return v < 0 ? withSignSpace(plainBody(v), true) : plainBody(v);
}

std::string plainNumberText(std::int64_t v) { return std::to_string(v); }

std::string numberText(double v)
{
    if (std::isnan(v) || std::isinf(v)) {
        const std::string t = plainNumberText(v);
        return t[0] == '-' ? t : " " + t;
    }
    if (v == 0.0) return " 0";
    return withSignSpace(plainBody(v), v < 0);
}

std::string numberText(std::int64_t v)
{
    return v < 0 ? std::to_string(v) : withSignSpace(std::to_string(v), false);
}

std::string exactNumberText(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string formatPattern(double v, std::string_view pattern)
{
    if (!std::isfinite(v)) return plainNumberText(v);

    const std::size_t point = pattern.find('.');
    const std::string_view intPart = pattern.substr(0, point);
    const std::string_view fracPart =
        point == std::string_view::npos ? std::string_view{} : pattern.substr(point + 1);
    int decimals = 0;
    for (char c : fracPart) {
        if (c == '0' || c == '#') ++decimals;
    }

    // Decimal digits of |v| rounded half away from zero to `decimals` places:
    // intDigits without leading zeros ("" when the integer part is 0),
    // fracDigits exactly `decimals` long.
    std::string intDigits;
    std::string fracDigits(static_cast<std::size_t>(decimals), '0');
    if (v != 0.0) {
        const Decimal15 d = decimal15(v);
        auto digitAt = [&](int power) -> int {  // digit of 10^power
            const int idx = d.exponent - power;
            return (idx >= 0 && idx < 15) ? d.digits[static_cast<std::size_t>(idx)] - '0' : 0;
        };
        const int top = std::max(d.exponent, 0);
        // Digits from 10^top down to 10^-decimals, most significant first.
        std::string all;
        for (int p = top; p >= -decimals; --p) all.push_back(static_cast<char>('0' + digitAt(p)));
        if (digitAt(-decimals - 1) >= 5) {
            int i = static_cast<int>(all.size()) - 1;
            while (i >= 0 && all[static_cast<std::size_t>(i)] == '9') {
                all[static_cast<std::size_t>(i)] = '0';
                --i;
            }
            if (i >= 0)
                ++all[static_cast<std::size_t>(i)];
            else
                all.insert(all.begin(), '1');
        }
        const std::size_t intLen = all.size() - static_cast<std::size_t>(decimals);
        intDigits = all.substr(0, intLen);
        fracDigits = all.substr(intLen);
        const std::size_t nz = intDigits.find_first_not_of('0');
        intDigits = nz == std::string::npos ? std::string{} : intDigits.substr(nz);
    }
    const bool allZero = intDigits.empty() && fracDigits.find_first_not_of('0') == std::string::npos;

    // Integer part: placeholders take digits from the right; digits beyond the
    // placeholders go in front of the first placeholder.
    std::string intOut;
    {
        int placeholders = 0;
        for (char c : intPart) {
            if (c == '0' || c == '#') ++placeholders;
        }
        const int extra = static_cast<int>(intDigits.size()) - placeholders;
        int next = 0;  // index into intDigits of the next digit to place
        int seen = 0;
        for (char c : intPart) {
            if (c == '0' || c == '#') {
                if (seen == 0 && extra > 0) {
                    intOut.append(intDigits, 0, static_cast<std::size_t>(extra));
                    next = extra;
                }
                const int slotFromRight = placeholders - seen;  // 1-based
                if (static_cast<int>(intDigits.size()) - next >= slotFromRight) {
                    intOut.push_back(intDigits[static_cast<std::size_t>(next++)]);
                } else if (c == '0') {
                    intOut.push_back('0');
                }
                ++seen;
            } else {
                intOut.push_back(c);
            }
        }
        if (placeholders == 0) intOut += intDigits;
    }

    std::string out = intOut;
    if (point != std::string_view::npos) {
        out.push_back('.');
        // Trailing "#" places whose digit is 0 are left out.
        std::string placeholderKinds;
        for (char c : fracPart) {
            if (c == '0' || c == '#') placeholderKinds.push_back(c);
        }
        int keep = decimals;
        while (keep > 0 && placeholderKinds[static_cast<std::size_t>(keep - 1)] == '#' &&
               fracDigits[static_cast<std::size_t>(keep - 1)] == '0')
            --keep;
        int k = 0;
        for (char c : fracPart) {
            if (c == '0' || c == '#') {
                if (k < keep) out.push_back(fracDigits[static_cast<std::size_t>(k)]);
                ++k;
            } else {
                out.push_back(c);
            }
        }
    }
    if (v < 0 && !allZero) out.insert(out.begin(), '-');
    return out;
}

// ---- text as numbers --------------------------------------------------------

double leadingNumber(std::string_view text)
{
    std::string num;
    bool mantissaDigits = false;
    bool seenPoint = false;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') num.push_back('-');
        ++i;
    }
    for (;;) {
        skipBlanks();
        if (i >= text.size()) break;
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            num.push_back(c);
            mantissaDigits = true;
            ++i;
        } else if (c == '.' && !seenPoint) {
            num.push_back('.');
            seenPoint = true;
            ++i;
        } else {
            break;
        }
    }
    if (!mantissaDigits) return 0.0;

    // Optional exponent: E or D, optional sign, at least one digit.
    std::string expText;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        std::size_t j = i + 1;
        std::string e;
        auto skip = [&] {
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t' || text[j] == '\n')) ++j;
        };
        skip();
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            if (text[j] == '-') e.push_back('-');
            ++j;
        }
        bool expDigits = false;
        for (;;) {
            skip();
            if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
                e.push_back(text[j++]);
                expDigits = true;
            } else {
                break;
            }
        }
        if (expDigits) expText = "e" + e;
    }

    const std::string full = num + expText;
    double value = 0.0;
    const auto res = std::from_chars(full.data(), full.data() + full.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large or too small: the decimal order of the first significant
        // digit says which, also for mantissas of hundreds of digits.
        const std::size_t firstDigit = num.find_first_of("123456789");
        if (firstDigit == std::string::npos) return 0.0;
        const std::size_t point = std::min(num.find('.'), num.size());
        long long order = firstDigit < point ? static_cast<long long>(point - firstDigit) - 1
                                             : -static_cast<long long>(firstDigit - point);
        // Beyond any length a text can have, so the sum below keeps its sign.
        constexpr long long kExponentCap = 1'000'000'000'000'000;
        long long exponent = 0;
        for (std::size_t k = 1; k < expText.size(); ++k)
            if (expText[k] != '-' && exponent < kExponentCap) exponent = exponent * 10 + (expText[k] - '0');
        order += expText.size() > 1 && expText[1] == '-' ? -exponent : exponent;
        if (order < 0) return 0.0;
        return num[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (res.ec != std::errc{}) return 0.0;
    return value;
}

// ---- print zones ------------------------------------------------------------

PrintLine& PrintLine::text(std::string_view s)
{
    line_.append(s);
    return *this;
}

PrintLine& PrintLine::number(double v, bool trailingSpace)
{
    line_ += numberText(v);
    if (trailingSpace) line_.push_back(' ');
    return *this;
}

PrintLine& PrintLine::nextZone()
{
    const std::size_t target = (line_.size() / kPrintZoneWidth + 1) * kPrintZoneWidth;
    line_.append(target - line_.size(), ' ');
    return *this;
}

// ---- paths ------------------------------------------------------------------

char pathSeparator()
{
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    std::string out(folder);
    if (out.empty()) return std::string(name);
    const char last = out.back();
    const bool endsWithSeparator = last == pathSeparator() || last == '/';
    if (!endsWithSeparator) out.push_back(pathSeparator());
    out.append(name);
    return out;
}

}  // namespace lv

namespace lv {

std::string fixedText(double v, int decimals)
{
    return formatPattern(v, "0." + std::string(static_cast<std::size_t>(std::max(decimals, 0)), '0'));
}

}  // namespace lv

namespace lv {

std::optional<double> decimalNumber(std::string_view text, std::string_view blanks)
{
    const std::size_t a = text.find_first_not_of(blanks);
    if (a == std::string_view::npos) return std::nullopt;
    const std::string t(text.substr(a, text.find_last_not_of(blanks) - a + 1));
    // strtod alone would also take hexadecimal and "inf".
    if (t.find_first_not_of("0123456789+-.eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

}  // namespace lv
