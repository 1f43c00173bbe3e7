// The readers of observation dates and times from header records
// (readObservationHeader, readSavedLineHeader) and the date and time texts
// they pass on (parseDate, parseTime, nextDay, previousDay, nextDayText).
// Input: one option byte (bit 0: the time zone of the saved line is 9 hours),
// then header records of 80 characters (the last one padded with blanks).
#include <cmath>

#include "core/conventions.h"
#include "lightcurve/mag_est.h"
#include "photometry/automatic_run.h"
#include "photometry/photometry_run.h"
#include "fuzz_support.h"

namespace {

using namespace lv;

bool operator==(const CalendarDate& a, const CalendarDate& b)
{
    return a.year == b.year && a.fourDigitYear == b.fourDigitYear && a.month == b.month && a.day == b.day &&
           a.dayFirst == b.dayFirst;
}

int daysIn(const CalendarDate& d)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return d.month == 2 && d.year % 4 == 0 ? 29 : days[d.month - 1];
}

bool digit(char c) { return c >= '0' && c <= '9'; }

// "hh:mm:ss" with digits only.
bool plainClock(const std::string& t)
{
    return t.size() == 8 && digit(t[0]) && digit(t[1]) && t[2] == ':' && digit(t[3]) && digit(t[4]) && t[5] == ':' &&
           digit(t[6]) && digit(t[7]);
}

void checkDate(const std::string& text)
{
    const auto d = parseDate(text);
    if (!d) return;
    FUZZ_CHECK(d->month >= 1 && d->month <= 12 && d->day >= 1 && d->day <= 31);
    FUZZ_CHECK(text.starts_with(dateText(*d)));
    if (d->day > daysIn(*d)) return;
    const CalendarDate next = nextDay(*d);
    FUZZ_CHECK(next.day >= 1 && next.day <= daysIn(next));
    FUZZ_CHECK(previousDay(next) == *d);
    FUZZ_CHECK(nextDay(previousDay(*d)) == *d);
    const auto reread = parseDate(dateText(next));
    FUZZ_CHECK(reread && *reread == next);
    // The saved line's own day arithmetic agrees, on two-digit years.
    if (text.size() == 8 || (text.size() == 10 && !d->dayFirst)) {
        CalendarDate two = *d;
        two.year %= 100;
        two.fourDigitYear = false;
        two.dayFirst = true;
        FUZZ_CHECK(nextDayText(text) == dateText(nextDay(two)));
    }
}

void checkTime(const std::string& text)
{
    const auto t = parseTime(text);
    FUZZ_CHECK(t.has_value() == (!text.empty() && digit(text[0])));
    if (t) FUZZ_CHECK(t->hours >= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input = fuzz::asText(data, size);
    const std::uint8_t flags = fuzz::takeByte(input);
    checkDate(std::string(input));
    checkTime(std::string(input));

    FitsImage image;
    for (std::size_t at = 0; at < input.size(); at += kCardLength) {
        HeaderCard card(input.substr(at, kCardLength));
        card.resize(kCardLength, ' ');
        image.cards.push_back(card);
    }

    const ObservationHeader h = readObservationHeader(image);
    checkDate(h.dateText);
    checkTime(h.timeText);
    ComparisonStar star;
    const auto report = reportLine(h, 11.5, 10.25, 12.125, 3, star);
    FUZZ_CHECK(report.has_value() == (parseDate(h.dateText) && parseTime(h.timeText)));
    (void)resultLine(h, 11.5, 10.25, 12.125, 2);

    const int zone = flags & 1 ? 9 : 0;
    const SavedLineHeader saved = readSavedLineHeader(image, h.exposureTime, zone);
    const SavedLineHeader inUt = readSavedLineHeader(image, h.exposureTime, 0);
    FUZZ_CHECK(saved.date == inUt.date && saved.exposure == inUt.exposure);
    checkDate(saved.date);
    checkTime(saved.time);

    // The line automatic photometry saves, read back by the light-curve
    // window: the same time of night and magnitudes.
    // (Up to the 200th character, where the window stops looking for them.)
    // No control character may reach the line (regressions/header_dates/line_end_in_date).
    for (const std::string* text : {&saved.date, &saved.time})
        for (const char c : *text) FUZZ_CHECK(static_cast<unsigned char>(c) >= 32 && c != 127);
    if (parseDate(saved.date) && saved.date.find(' ') == std::string::npos && plainClock(saved.time) &&
        std::fabs(saved.exposure) < 1e6) {
        MagEstRecord r;
        r.date = saved.date;
        r.time = saved.time;
        r.exposure = saved.exposure;
        r.check = 11.234;
        r.comparison = 10.5;
        r.variable = -0.25;
        r.framePath = "/night/frame_0001.fit";
        const std::string& path = fuzz::scratchPath();
        fuzz::writeFile(path, magEstLine(r, 3));
        LightCurveTable table;
        FUZZ_CHECK(readMagEst(path, table).opened);
        FUZZ_CHECK(table.count() == 1 && table.hasVar[0]);
        auto two = [&](std::size_t at) { return leadingNumber(saved.time.substr(at, 2)); };
        double hours = two(0) + two(3) / 60 + two(6) / 3600;
        if (hours < 12) hours += 24;
        FUZZ_CHECK(table.time[0] == hours);
        FUZZ_CHECK(table.check[0] == 11.234 && table.comp[0] == 10.5 && table.var[0] == -0.25);
    }
    return 0;
}
