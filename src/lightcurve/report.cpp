#include "lightcurve/report.h"

#include <cmath>

#include "core/conventions.h"
#include "core/file_replace.h"
#include "core/shift_jis.h"

namespace lv {

namespace {

// The fixed Japanese texts, as Shift-JIS bytes.
const std::string kTitle = "\x95\xcf\x8c\xf5\x90\xaf\x8a\xcf\x91\xaa ";  // "変光星観測 "
const std::string kOrder = std::string("\x8a\xcf\x91\xaa\x82\xcd\x8f\x87\x82\xc9\x90\xaf\x96\xbc") +
                           " , JST(hhmmss), " + "\x8c\xf5\x93" + "x, " +
                           "\x8a\xcf\x91\xaa\x8e\xd2\x97\xaa\x8d\x86";  // "観測は順に星名 , JST(hhmmss), 光度, 観測者略号"
const std::string kStar = "\x90\xaf";                                    // "星"
const std::string kEyeEstimate = "\x96\xda\x91\xaa";                     // "目測"

// Value of `n` characters from 1-based position `at`.
double field(const std::string& s, std::size_t at, std::size_t n)
{
    return at >= 1 && at <= s.size() ? leadingNumber(std::string_view(s).substr(at - 1, n)) : 0.0;
}

// 1-based position of the first `c` at or after 1-based `from`, or 0.
std::size_t find1(const std::string& s, char c, std::size_t from)
{
    const std::size_t p = s.find(c, from - 1);
    return p == std::string::npos ? 0 : p + 1;
}

std::string inFolder(const std::string& folder, const char* name)
{
    return folder.empty() ? std::string(name) : joinPath(folder, name);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysIn(int month, int year)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) return leapYear(year) ? 29 : 28;
    return month >= 1 && month <= 12 ? days[month - 1] : 31;
}

// The characters of a UTF-8 text (a malformed byte counts as one).
std::size_t characters(std::string_view s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// The first `n` characters of a text, padded with spaces to `n`.
std::string fitted(const std::string& s, std::size_t n)
{
    std::string out;
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80) {
            if (count == n) break;
            ++count;
        }
        out += s[i];
    }
    out.append(n - count, ' ');
    return out;
}

}  // namespace

CalendarDay reportDate(const std::string& line)
{
    CalendarDay d;
    const std::size_t p = find1(line, ' ', 9);
    if (p == 19 && line.size() >= 11 && isDigit(line[10])) {
        d.year = static_cast<int>(field(line, 9, 4));
        d.month = static_cast<int>(field(line, 14, 2));
        d.day = static_cast<int>(field(line, 17, 2));
    } else {
        d.day = static_cast<int>(field(line, 9, 2));
        d.month = static_cast<int>(field(line, 12, 2));
        const int yy = static_cast<int>(field(line, 15, 2));
        d.year = yy > 80 ? 1900 + yy : 2000 + yy;
    }
    if (p != 0 && field(line, p + 1, 2) < 10) {
        if (--d.day < 1) {
            if (--d.month < 1) {
                d.month = 12;
                --d.year;
            }
            d.day = daysIn(d.month, d.year);
        }
    }
    return d;
}

double julianDate(int year, int month, int day, double hours, double minutes, double seconds)
{
    if (month <= 2) {
        month += 12;
        year -= 1;
    }
    const double t = year + (month - 1) / 12.0 + day / 365.25;
    double m;
    if (t < 1582.78) {
        if (year >= 0)
            m = std::floor(365.25 * year) + std::floor(30.59 * (month - 2)) - 678914;
        else
            m = -std::floor(365.25 * -year) + std::floor(30.59 * (month - 2)) - 678915;
    } else {
        m = std::floor(365.25 * year) + std::floor(year / 400.0) - std::floor(year / 100.0) +
            std::floor(30.59 * (month - 2)) - 678912;
    }
    m += day;
    m += hours / 24 + (minutes + seconds / 60) / 1440;
    return m - 0.375 + 2400000.5;
}

std::optional<ReportFiles> buildReport(const LightCurveTable& table, const ReportFields& f, double error,
                                       std::string& why)
{
    int kept = 0;
    for (int i = 0; i < table.count(); ++i) kept += table.deleted(i) ? 0 : 1;
    if (kept == 0) {
        why = table.count() == 0 ? "The light curve has no data line: no report was written"
                                 : "Every point is deleted: no report was written";
        return std::nullopt;
    }
    if (characters(f.star) > 20) {
        why = "The star name \"" + f.star + "\" is longer than 20 characters: no report was written";
        return std::nullopt;
    }
    auto sjis = [&](const std::string& text, const char* what) -> std::optional<std::string> {
        std::string bad;
        auto out = toShiftJis(text, &bad);
        if (!out) why = std::string("The ") + what + " holds \"" + bad + "\", which Shift-JIS cannot write: no report was written";
        return out;
    };
    const auto star = sjis(f.star, "star name");
    const auto star20 = star ? sjis(fitted(f.star, 20), "star name") : std::nullopt;
    const auto code = star20 ? sjis(f.code, "observer code") : std::nullopt;
    const auto code10 = code ? sjis(fitted(f.code, 10), "observer code") : std::nullopt;
    const auto colour = code10 ? sjis(f.colour, "colour") : std::nullopt;
    const auto colour15 = colour ? sjis(fitted(f.colour + " magnitude      ", 15), "colour") : std::nullopt;
    const auto colour5 = colour15 ? sjis(fitted(f.colour + ")     ", 5), "colour") : std::nullopt;
    const auto place = colour5 ? sjis(f.observerPlace, "observer and place") : std::nullopt;
    const auto instruments = place ? sjis(f.instruments, "instruments") : std::nullopt;
    if (!instruments) return std::nullopt;

    const CalendarDay date = reportDate(table.lines[0]);
    const std::string dateDigits =
        formatPattern(date.year, "0000") + formatPattern(date.month, "00") + formatPattern(date.day, "00");
    ReportFiles out;
    std::string& s = out.stdText;
    std::string& fixed = out.fixedText;
    const std::string crlf(kCrLf);
    s += kTitle + formatPattern(date.year, "0000") + "/" + formatPattern(date.month, "00") + "/" +
         formatPattern(date.day, "00") + " By " + *code + crlf;
    s += "---- Variable Star Observations ----" + crlf;
    for (int i = 0; i < table.count(); ++i) {
        if (table.deleted(i)) continue;
        const std::string& line = table.lines[static_cast<std::size_t>(i)];
        const std::size_t p = find1(line, ' ', 9);
        double hours = p ? field(line, p + 1, 2) : 0;
        double minutes = p ? field(line, p + 4, 2) : 0;
        double seconds = p ? field(line, p + 7, 2) : 0;
        const std::size_t e = find1(line, ' ', 21);
        const double exposure = e ? field(line, e + 1, 3) : 0;
        seconds += std::floor(exposure * 0.5 + 0.5);
        // Carried until both are below 60, whatever the exposure.
        carryClock(hours, minutes, seconds);
        if (hours < 10) hours += 24;
        const double m = f.compMag + table.var[static_cast<std::size_t>(i)] - table.comp[static_cast<std::size_t>(i)];
        const std::size_t q = find1(line, '=', 9);
        const bool twoDecimals = q && q + 7 <= line.size() && line[q + 7 - 1] == ' ';
        const std::string time = formatPattern(hours, "00") + formatPattern(minutes, "00") + formatPattern(seconds, "00");
        s += *star + " " + dateDigits + time + formatPattern(m, twoDecimals ? " ###.00" : " ###.000") + *colour + " " +
             *code + crlf;
        const double jd = julianDate(date.year, date.month, date.day, hours, minutes, seconds);
        fixed += dateDigits + *code10 + time + *star20 + *colour15 + "CCD(" + *colour5 +
                 formatPattern(std::floor(m * 100 + 0.5), "00000 ") + formatPattern(jd - 2000000, "000000.0000") + crlf;
        ++out.records;
    }
    s += std::string(69, '-') + crlf;
    s += kOrder + crlf;
    s += "total: 1" + kStar + " /" + numberText(out.records) + " " + kEyeEstimate + crlf;
    s += "observer: " + *place + crlf;
    s += "instruments: " + *instruments + crlf;
    s += "comment: photometry error = " + formatPattern(error, "#0.0000") + crlf;
    return out;
}

bool writeReport(const LightCurveTable& table, const ReportFields& fields, double error, const std::string& folder,
                 Platform& platform)
{
    std::string why;
    const auto texts = buildReport(table, fields, error, why);
    if (!texts) {
        platform.error(why);
        return false;
    }
    std::string failure;
    // Both or neither: the two files describe the same night.
    if (!replaceFilesWith({{inFolder(folder, kReportStdName), texts->stdText},
                           {inFolder(folder, kReportFixedName), texts->fixedText}},
                          failure)) {
        platform.error(failure);
        return false;
    }
    platform.message(kReportDoneMessage);
    return true;
}

}  // namespace lv
