#include "lightcurve/aavso.h"

#include <cmath>

#include "core/conventions.h"
#include "core/file_replace.h"

namespace lv {

namespace {

double field(const std::string& s, std::size_t at, std::size_t n)
{
    return at < s.size() ? leadingNumber(std::string_view(s).substr(at, n)) : 0.0;
}

// Days from 1970-01-01 of a Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool hasComma(const std::string& s) { return s.find(',') != std::string::npos; }

}  // namespace

std::optional<double> aavsoJulianDate(const std::string& line, double utOffsetHours)
{
    // The data line after the 8-character number: date, space, time, space, exposure.
    const std::string data = line.size() > 8 ? line.substr(8) : std::string();
    const std::size_t space = data.find(' ');
    if (space == std::string::npos) return std::nullopt;
    const std::string date = data.substr(0, space);
    long long year;
    unsigned month, day;
    if (date.size() == 10 && date[4] == '-') {
        year = static_cast<long long>(field(date, 0, 4));
        month = static_cast<unsigned>(field(date, 5, 2));
        day = static_cast<unsigned>(field(date, 8, 2));
    } else if (date.size() == 8 && date[2] == '/') {
        day = static_cast<unsigned>(field(date, 0, 2));
        month = static_cast<unsigned>(field(date, 3, 2));
        const int yy = static_cast<int>(field(date, 6, 2));
        year = yy > 80 ? 1900 + yy : 2000 + yy;
    } else {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    const double hours = field(data, space + 1, 2);
    const double minutes = field(data, space + 4, 2);
    const double seconds = field(data, space + 7, 2);
    const std::size_t e = data.find(' ', space + 1);
    const double exposure = e == std::string::npos ? 0.0 : field(data, e + 1, 4);
    const double dayFraction = (hours - utOffsetHours + minutes / 60 + (seconds + exposure / 2) / 3600) / 24;
    return 2440587.5 + static_cast<double>(daysFromCivil(year, month, day)) + dayFraction;
}

std::optional<std::string> aavsoFilter(const std::string& colour)
{
    if (colour == "B") return "B";
    if (colour == "V") return "V";
    if (colour == "R" || colour == "Rc") return "R";
    if (colour == "I" || colour == "Ic") return "I";
    return std::nullopt;
}

std::optional<std::string> aavsoText(const LightCurveTable& table, const AavsoSettings& s, double error,
                                     std::string& why)
{
    const ReportFields& f = s.report;
    if (f.star.empty() || f.star.size() > 30) {
        why = "The star name must have 1 to 30 characters for the AAVSO file";
        return std::nullopt;
    }
    if (f.code.empty()) {
        why = "The AAVSO file needs the observer code";
        return std::nullopt;
    }
    for (const std::string* t : {&f.star, &f.code, &s.comparisonName, &s.checkName, &s.chart, &s.notes})
        if (hasComma(*t)) {
            why = "\"" + *t + "\" holds a comma, which the AAVSO file uses between fields";
            return std::nullopt;
        }
    const auto filter = aavsoFilter(f.colour);
    if (!filter) {
        why = "The colour \"" + f.colour + "\" has no AAVSO filter (B, V, Rc or Ic)";
        return std::nullopt;
    }
    auto errorText = [&](double e) -> std::optional<std::string> {
        std::string t = formatPattern(e, "0.0000");
        if (t.size() > 6) {
            why = "The photometry error " + t + " does not fit the AAVSO field of 6 characters";
            return std::nullopt;
        }
        return t;
    };
    const auto nightError = errorText(error);
    if (!nightError) return std::nullopt;
    const std::vector<const NightRow*> rows =
        s.night ? rowsOfLines(table, *s.night) : std::vector<const NightRow*>(table.lines.size(), nullptr);
    std::string out;
    const std::string crlf(kCrLf);
    out += "#TYPE=EXTENDED" + crlf + "#OBSCODE=" + f.code + crlf + "#SOFTWARE=" + kAavsoSoftware + crlf +
           "#DELIM=," + crlf + (s.heliocentric ? "#DATE=HJD" : "#DATE=JD") + crlf + "#OBSTYPE=CCD" + crlf;
    const std::string note = "UT = data times less " + plainNumberText(s.utOffsetHours) + " h" +
                             (s.notes.empty() ? std::string() : "; " + s.notes);
    int records = 0;
    for (int i = 0; i < table.count(); ++i) {
        if (table.deleted(i)) continue;
        const std::size_t k = static_cast<std::size_t>(i);
        const NightRow* row = rows[k];
        std::optional<double> jd;
        if (s.heliocentric) {
            jd = row ? row->hjdUtc : std::nullopt;
            if (!jd) {
                why = "Line" + numberText(i + 1) + " has no HJD in " + kNightTableName +
                      " (the target's position was not known, or the frame has no row): choose JD";
                return std::nullopt;
            }
        } else {
            jd = aavsoJulianDate(table.lines[k], s.utOffsetHours);
            if (!jd) {
                why = "Line" + numberText(i + 1) + " has no date and time the AAVSO file can use";
                return std::nullopt;
            }
        }
        const double vc = row && row->vMinusC ? *row->vMinusC : (table.var[k] - table.comp[k]) * kStandardScale;
        const double m = f.compMag + vc;
        std::string magErr = *nightError;
        if (row && row->vMinusCError) {
            const auto own = errorText(*row->vMinusCError);
            if (!own) return std::nullopt;
            magErr = *own;
        }
        const std::string airmass = row && row->airmass ? formatPattern(*row->airmass, "0.0000") : "na";
        std::string comparison = (s.comparisonName.empty() ? "na" : s.comparisonName) + "," +
                                 formatPattern(table.comp[k], "0.000");
        std::string check = formatPattern(table.check[k], "0.000");
        std::string notes = note;
        if (row && row->ensembleN) {
            // An ensemble has no one comparison magnitude; the check star is
            // given on the ensemble's scale, the stars named in the notes.
            comparison = "ENSEMBLE,na";
            check = row->cMinusK ? formatPattern(f.compMag - *row->cMinusK, "0.000") : "na";
            notes = "ensemble of " + plainNumberText(*row->ensembleN) + " comparison stars" +
                    (s.comparisonName.empty() ? std::string() : ": " + s.comparisonName) + "; " + note;
        }
        out += f.star + "," + formatPattern(*jd, "0.00000") + "," + formatPattern(m, "0.000") + "," + magErr + "," +
               *filter + ",NO,STD," + comparison + "," + (s.checkName.empty() ? "na" : s.checkName) + "," + check +
               "," + airmass + ",na," + (s.chart.empty() ? "na" : s.chart) + "," + notes + crlf;
        ++records;
    }
    if (records == 0) {
        why = "No point is kept: no AAVSO file was written";
        return std::nullopt;
    }
    return out;
}

bool writeAavso(const LightCurveTable& table, const AavsoSettings& s, double error, const std::string& path,
                Platform& platform)
{
    std::string why;
    AavsoSettings withTable = s;
    if (!withTable.night) withTable.night = readNightRows(nightTablePath(table.path));
    const auto text = aavsoText(table, withTable, error, why);
    if (!text) {
        platform.error(why);
        return false;
    }
    std::string failure;
    if (!replaceFileWith(path, *text, failure)) {
        platform.error(failure);
        return false;
    }
    platform.message("Completion, file name is " + path);
    return true;
}

}  // namespace lv
