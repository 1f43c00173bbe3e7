#include "photometry/photometry_run.h"

#include <cctype>
#include <cmath>

#include "core/conventions.h"
#include "photometry/measurement.h"

namespace lv {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Character at 1-based column `col`, or a blank beyond the record.
char column(const HeaderCard& card, int col)
{
    return col >= 1 && col <= static_cast<int>(card.size()) ? card[static_cast<std::size_t>(col - 1)] : ' ';
}

// The 8 characters from the first digit in columns 10 ... 21, or "".
std::string timeField(const HeaderCard& card)
{
    for (int p = 10; p <= 21; ++p)
        if (isDigit(column(card, p))) return card.substr(static_cast<std::size_t>(p - 1), 8);
    return {};
}

// A time text rebuilt as hours, minutes and seconds, each "00".
std::string rebuiltTime(const std::string& text)
{
    const auto t = parseTime(text);
    if (!t) return text;
    return formatPattern(t->hours, "00") + ":" + formatPattern(t->minutes, "00") + ":" +
           formatPattern(t->seconds, "00");
}

int daysInMonth(int month, int year)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) return year % 4 == 0 ? 29 : 28;
    return month >= 1 && month <= 12 ? days[month - 1] : 31;
}

int yearModulus(const CalendarDate& d) { return d.fourDigitYear ? 10000 : 100; }

}  // namespace

std::optional<ClockTime> parseTime(const std::string& text)
{
    if (text.empty() || !isDigit(text[0])) return std::nullopt;
    ClockTime t;
    const std::size_t first = text.find(':');
    t.hours = leadingNumber(text.substr(0, first));
    if (first != std::string::npos) {
        const std::size_t second = text.find(':', first + 1);
        t.minutes = leadingNumber(text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
        if (second != std::string::npos) t.seconds = leadingNumber(text.substr(second + 1));
    }
    return t;
}

std::optional<CalendarDate> parseDate(const std::string& text)
{
    auto digits = [&](std::size_t from, std::size_t n) {
        if (text.size() < from + n) return false;
        for (std::size_t i = from; i < from + n; ++i)
            if (!isDigit(text[i])) return false;
        return true;
    };
    auto value = [&](std::size_t from, std::size_t n) { return static_cast<int>(leadingNumber(text.substr(from, n))); };
    CalendarDate d;
    if (digits(0, 2) && text.size() >= 8 && text[2] == '/' && digits(3, 2) && text[5] == '/' && digits(6, 2)) {
        d.dayFirst = true;
        d.day = value(0, 2);
        d.month = value(3, 2);
        d.year = value(6, 2);
    } else if (digits(0, 4) && text.size() >= 10 && text[4] == '-' && digits(5, 2) && text[7] == '-' && digits(8, 2)) {
        d.fourDigitYear = true;
        d.year = value(0, 4);
        d.month = value(5, 2);
        d.day = value(8, 2);
    } else {
        return std::nullopt;
    }
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31) return std::nullopt;
    return d;
}

std::string dateText(const CalendarDate& d)
{
    if (d.dayFirst)
        return formatPattern(d.day, "00") + "/" + formatPattern(d.month, "00") + "/" + formatPattern(d.year, "00");
    return formatPattern(d.year, d.fourDigitYear ? "0000" : "00") + "-" + formatPattern(d.month, "00") + "-" +
           formatPattern(d.day, "00");
}

CalendarDate nextDay(CalendarDate d)
{
    if (++d.day > daysInMonth(d.month, d.year)) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            d.year = (d.year + 1) % yearModulus(d);
        }
    }
    return d;
}

CalendarDate previousDay(CalendarDate d)
{
    if (--d.day < 1) {
        if (--d.month < 1) {
            d.month = 12;
            d.year = (d.year - 1 + yearModulus(d)) % yearModulus(d);
        }
        d.day = daysInMonth(d.month, d.year);
    }
    return d;
}

ObservationHeader readObservationHeader(const FitsImage& image)
{
    ObservationHeader h;
    std::string timeAfterT;  // a time given inside DATE-OBS, used when nothing else gives one
    for (const HeaderCard& card : image.cards) {
        const std::string_view key = cardKeyword(card);
        if (key == "DATE-OBS") {
            // Every DATE-OBS record is read: the last one that holds a date wins.
            std::string date;
            std::string recordTime;
            for (int p = 10; p <= 21 && date.empty(); ++p) {
                if (!isDigit(column(card, p))) continue;
                for (int q = p; q <= 25; ++q)
                    if (column(card, q) == '\'') {
                        date = card.substr(static_cast<std::size_t>(p - 1), static_cast<std::size_t>(q - p));
                        break;
                    }
            }
            if (date.empty()) {
                // A date with a time after a "T" is too long for the columns
                // above: take its date part, and keep its time.
                const std::size_t open = card.find('\'', 9);
                const std::size_t close = open == std::string::npos ? open : card.find('\'', open + 1);
                if (close != std::string::npos) {
                    std::string value = card.substr(open + 1, close - open - 1);
                    const std::size_t first = value.find_first_of("0123456789");
                    if (first != std::string::npos) value = value.substr(first);
                    const std::size_t t = value.find('T');
                    if (t != std::string::npos) {
                        recordTime = value.substr(t + 1, 8);
                        value = value.substr(0, t);
                    }
                    while (!value.empty() && value.back() == ' ') value.pop_back();
                    if (parseDate(value)) date = value;
                }
            }
            if (!date.empty()) {
                h.dateText = date;
                timeAfterT = recordTime;
            }
            continue;
        }
        const bool timeKey = key == "UT      " || key == "JST     " || key == "UT-START";
        if (timeKey && !h.jstSeen) {
            if (const std::string t = timeField(card); !t.empty()) h.timeText = rebuiltTime(t);
        } else if (key == "EXPTIME ") {
            h.exposureTime = leadingNumber(std::string_view(card).substr(9, 21));
        }
        if (key == "JST     ") h.jstSeen = true;
    }
    if (h.timeText.empty()) {
        for (const HeaderCard& card : image.cards)
            if (cardKeyword(card) == "TIME-OBS") {
                h.timeText = timeField(card);
                break;
            }
    }
    if (h.timeText.empty() && !timeAfterT.empty()) h.timeText = rebuiltTime(timeAfterT);
    if (h.jstSeen && !h.timeText.empty() && leadingNumber(h.timeText.substr(0, 2)) < 9) {
        if (auto d = parseDate(h.dateText)) h.dateText = dateText(nextDay(*d));
    }
    return h;
}

std::string magnitudeText(double magnitude, int digits)
{
    return formatPattern(magnitude, digits == 2 ? " 00.00" : " 00.000");
}

std::string resultLine(const ObservationHeader& header, double check, double comparison, double variable, int digits)
{
    std::string line = header.dateText;
    if (!header.timeText.empty()) line += " " + header.timeText;
    if (header.exposureTime > 0) line += " " + formatPattern(header.exposureTime, "000");
    line += " Check=" + magnitudeText(check, digits);
    line += " Comp=" + magnitudeText(comparison, digits);
    line += " Var=" + magnitudeText(variable, digits);
    return line;
}

std::optional<std::string> reportLine(const ObservationHeader& header, double check, double comparison,
                                      double variable, int digits, const ComparisonStar& star)
{
    auto date = parseDate(header.dateText);
    const auto time = parseTime(header.timeText);
    if (!date || !time) return std::nullopt;

    // Mid-exposure: half of what the result line shows in its three exposure
    // columns (19 to 21): an exposure of 1000 s or more loses its last digit there.
    const double exposure =
        header.exposureTime > 0 ? leadingNumber(formatPattern(header.exposureTime, "000").substr(0, 3)) : 0.0;
    double hours = std::floor(time->hours);
    double minutes = std::floor(time->minutes);
    double seconds = std::floor(time->seconds) + exposure / 2.0;
    carryClock(hours, minutes, seconds);
    if (hours < 9) {
        // Past midnight: counted on from the evening's date.
        hours += 24;
        date = previousDay(*date);
    }
    std::string line = star.starName + " 20" + formatPattern(date->year % 100, "00") +
                       formatPattern(date->month, "00") + formatPattern(date->day, "00");
    line += formatPattern(hours, "00") + formatPattern(minutes, "00") + formatPattern(seconds, "00");
    line += " K=" + magnitudeText(check, digits);
    line += " C=" + magnitudeText(comparison, digits);
    line += " V=" + magnitudeText(variable, digits);
    line += " " + magnitudeText(variable - comparison + star.comparisonMagnitude, digits);
    if (star.filterIndex >= 0 && star.filterIndex < static_cast<int>(kFilterTexts.size()))
        line += kFilterTexts[static_cast<std::size_t>(star.filterIndex)];
    line += " " + star.observerCode;
    return line;
}

PhotometryOutcome runPhotometry(const FitsImage& image, PhotometryState& state, bool beepOn, Platform& platform)
{
    PhotometryOutcome out;
    Measurement m;
    {
        BusyPointer busy(platform);
        m = measureStars(image, state);
    }
    if (beepOn) platform.beep();

    static const char* const kNames[] = {"comparison", "variable", "check"};
    bool noStarShown = false;
    out.allMeasured = true;
    for (std::size_t i = 0; i < kStarSlots.size(); ++i) {
        const int s = kStarSlots[i];
        if (m.noSky[static_cast<std::size_t>(s + 1)]) {
            platform.message(std::string("No sky sample lies inside the image for the ") + kNames[i] +
                                 " star: move it or make the sky area smaller",
                             kPhotometryTitle);
            out.allMeasured = false;
            continue;
        }
        const auto magnitude = instrumentalMagnitude(m, s);
        if (!magnitude) {
            if (!noStarShown) platform.message(kNoStarMessage, kPhotometryTitle);
            noStarShown = true;
            out.allMeasured = false;
            continue;
        }
        const double rounded = roundMagnitude(*magnitude, state.settings.digits);
        out.magnitudes[i] = rounded;
        state.magnitudeField(s) = numberText(rounded);
    }
    if (!out.allMeasured) return out;

    const ObservationHeader header = readObservationHeader(image);
    const double check = leadingNumber(state.checkMagnitude);
    const double comparison = leadingNumber(state.comparisonMagnitude);
    const double variable = leadingNumber(state.variableMagnitude);
    out.resultLine = resultLine(header, check, comparison, variable, state.settings.digits);
    platform.clearClipboard();
    platform.setClipboardText(out.resultLine);
    if (state.comparison.filterIndex != -1) {
        out.reportLine = reportLine(header, check, comparison, variable, state.settings.digits, state.comparison);
        if (out.reportLine) {
            platform.clearClipboard();
            platform.setClipboardText(*out.reportLine);
        } else {
            platform.message("The header gives no observation date and time: the clipboard holds the result line "
                             "instead of the report line",
                             kPhotometryTitle);
        }
    }
    return out;
}

}  // namespace lv
