// Number and text conventions shared by every file, window and report.
//
// All user-visible numbers are formatted and parsed here and nowhere else:
// observers compare our text files with their archives byte for byte, so the
// rules (leading-space numbers, fixed patterns, rounding) must be one.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lv {

// Line end of every text file we write, on every platform.
inline constexpr std::string_view kCrLf = "\r\n";

// Width of one print zone of list-style text output.
inline constexpr std::size_t kPrintZoneWidth = 14;

// ---- rounding ---------------------------------------------------------------

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double roundHalfEvenSlow(double v);
inline double roundHalfEven(double v)
{
    // Adding 1.5 * 2^52 leaves no fraction bits, so the addition itself rounds
    // to the nearest whole number with ties to even (the default rounding of
    // every IEEE platform); valid while |v| < 2^51.
    constexpr double kMagic = 6755399441055744.0;
    if (v > -2251799813685248.0 && v < 2251799813685248.0) return (v + kMagic) - kMagic;
    return roundHalfEvenSlow(v);
}

// Conversion of a computed value to a 32-bit integer (pixel, count, level):
// rounds halves to even; nullopt when the value is not finite or does not fit.
inline std::optional<std::int32_t> toInt32(double v)
{
    const double r = roundHalfEven(v);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;  // also NaN
    return static_cast<std::int32_t>(r);
}

// As toInt32, but values that do not fit are clamped to the 32-bit range
// (NaN gives 0). For user-typed levels and settings, never for pixel data.
std::int32_t toInt32Saturated(double v);

// "Int" of the formulas: the floor.
double intFloor(double v);

// Magnitude rounding: Int(v * 10^digits + 0.5) / 10^digits.
double roundMagnitude(double v, int digits);

// Carries seconds into minutes and minutes into hours until both are below
// 60 (hours may pass 23): the mid-exposure times of the result and report lines.
// A nonsense exposure in a header (1E+30 s) must not hang the loop: far
// above a day, whole runs of 60 are carried at once, after which the
// carrying ends one 60 at a time as for any real time.
inline void carryClock(double& hours, double& minutes, double& seconds)
{
    constexpr double kStepwise = 60.0 * 1440.0;
    auto carry = [](double& low, double& high) {
        for (int bulk = 0; low >= kStepwise && bulk < 64; ++bulk) {
            const double runs = std::floor(low / 60.0) - 1439.0;  // leaves low just below a day
            low -= 60.0 * runs;
            high += runs;
        }
        if (low >= kStepwise) low = 0;  // beyond what a double can carry exactly
        while (low >= 60) {
            low -= 60;
            high += 1;
        }
    };
    carry(seconds, minutes);
    carry(minutes, hours);
}

// ---- numbers as text --------------------------------------------------------

// Plain decimal form: one leading space when not negative, "-" otherwise;
// up to 15 significant digits, no trailing zeros, no leading zero before the
// point (" .5"), exponent form "1E+15" / "1E-05" outside 1E-4 ... 1E15.
std::string numberText(double v);
std::string numberText(std::int64_t v);
inline std::string numberText(int v) { return numberText(static_cast<std::int64_t>(v)); }

// The same without the leading space of non-negative numbers ("12", "-3").
std::string plainNumberText(double v);
std::string plainNumberText(std::int64_t v);
inline std::string plainNumberText(int v) { return plainNumberText(static_cast<std::int64_t>(v)); }

// A number with 17 significant digits (enough to read back the same
// double), in the C locale's "%.17g" form: for scripts that compare values.
std::string exactNumberText(double v);

// A fixed pattern: "0" a digit always written, "#" a digit written only when
// significant, "." the decimal point (always written when in the pattern),
// any other character written as it stands. Rounds half away from zero at the
// last digit shown. A negative value gets "-" in front of the whole result.
// Examples: formatPattern(30, " 000") == " 030", formatPattern(12, "####.###")
// == "12.", formatPattern(0.5, "####.###") == ".5".
std::string formatPattern(double v, std::string_view pattern);
// `decimals` digits after the point, at least one before it: fixedText(2.5, 3) == "2.500".
std::string fixedText(double v, int decimals);

// ---- text as numbers --------------------------------------------------------

// The leading numeric part of a text: blanks, tabs and line feeds are skipped
// anywhere, an optional sign, digits with one decimal point, an optional
// exponent (E or D). Reading stops at the first character that cannot continue the number;
// text with no number gives 0. "10,5" -> 10, "1.5E2" -> 150, "abc" -> 0.
double leadingNumber(std::string_view text);

// The whole text as a decimal number, the characters of `blanks` allowed
// around it: digits, sign, point and exponent E only (no hexadecimal, no
// "inf"), finite; nullopt otherwise.
std::optional<double> decimalNumber(std::string_view text, std::string_view blanks = " ");

// ---- print zones ------------------------------------------------------------

// Builds one line of list-style output: items separated by a jump to the next
// 14-character print zone.
class PrintLine {
public:
    // Appends text as it stands.
    PrintLine& text(std::string_view s);
    // Appends a number in the plain decimal form; with trailingSpace, a space
    // follows the number as the platform's number printing does.
    PrintLine& number(double v, bool trailingSpace);
    // Pads with spaces to the start of the next print zone (always moves on).
    PrintLine& nextZone();
    const std::string& str() const { return line_; }

private:
    std::string line_;
};

// ---- paths ------------------------------------------------------------------

// The native path separator ("\" on Windows, "/" elsewhere).
char pathSeparator();

// folder + one separator + name; never doubles a separator already there.
std::string joinPath(std::string_view folder, std::string_view name);

}  // namespace lv
