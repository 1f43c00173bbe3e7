// The FITS header as every part of the program reads and writes it: the scan
// of whole 80-byte records up to END, the keywords (first eight characters,
// the last occurrence wins) and their values (columns 10 to 30 by their
// leading number), the making and rewriting of records, and the dates and
// times the header reading of the photometry runs takes apart.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fits_image.h"

namespace lv {

// ---- records ---------------------------------------------------------------------

struct HeaderScan {
    std::vector<HeaderCard> cards;  // records 1 ... END (or as many as were scanned)
    bool endFound = false;
    bool limitReached = false;  // `limit` records were scanned without an END
    bool readFailed = false;    // the file could not be read (errno in `err`)
    int err = 0;
};

// Reads whole records from the start of `file`, `fileLength` bytes long,
// until the one whose first three characters are "END", at most `limit` of
// them (the image reader 500, the calibration reader 1000).
HeaderScan scanHeader(std::FILE* file, unsigned long long fileLength, int limit);

// The value of a record: columns 10 to 30 by their leading number (blanks
// skipped, exponent letters E and D), 0 when there is no number.
double cardValue(const HeaderCard& card);

// The last record with this keyword (eight characters, blank padded), or null.
const HeaderCard* lastCard(const std::vector<HeaderCard>& cards, std::string_view keyword);

// The keywords that shape an image; -1 (0 and 1 for BZERO and BSCALE) where
// the header has none.
struct ImageKeys {
    std::int32_t bitpix = -1;
    std::int32_t naxis1 = -1;
    std::int32_t naxis2 = -1;
    std::int32_t naxis3 = -1;
    double bzero = 0.0;
    double bscale = 1.0;
};
ImageKeys imageKeys(const std::vector<HeaderCard>& cards);

// Bytes of the data unit these records announce, in whole 2880-byte
// blocks: |BITPIX| / 8 x GCOUNT x (PCOUNT + NAXIS1 x ... x NAXISn), 0
// without axes; -1 when the records do not say (or say something absurd).
long long dataUnitBytes(const std::vector<HeaderCard>& cards);

// The records of an image as one plain file holds them, which is also the
// order keyword look-ups read them in: for an image from an extension,
// SIMPLE, the extension's records (without XTENSION, PCOUNT, GCOUNT), then
// those of the primary whose keyword the extension lacks (commentary always,
// structural never), then END. A plain file's records as they are.
std::vector<HeaderCard> singleImageCards(const FitsImage& image);

// A record padded with blanks to 80 characters (longer texts are cut).
HeaderCard paddedCard(std::string text);
// "KEYWORD = value": numbers right-justified to column 30, texts (starting
// with a quote) from column 11.
HeaderCard valueCard(const std::string& keyword, const std::string& value);
HeaderCard commentCard(const std::string& text);
HeaderCard endCard();
// Columns 10 to 30 replaced by `field` (21 characters), the rest kept.
void setCardValue(HeaderCard& card, std::string_view field);

// ---- dates and times of the header reading ------------------------------------------

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
// The character at 1-based column `col`, or a blank beyond the record.
char cardColumn(const HeaderCard& card, int col);
// `n` characters from 1-based column `col` (fewer at the end of the record).
std::string cardColumns(const HeaderCard& card, int col, int n);
// The first column from `from` to `to` holding a digit, or 0.
int firstDigitColumn(const HeaderCard& card, int from, int to);
// The 8 characters from the first digit in columns 10 ... 21, or "".
std::string cardTimeField(const HeaderCard& card);

// A calendar date in one of the two header forms.
struct CalendarDate {
    int year = 0;        // as written: two or four digits
    bool fourDigitYear = false;
    int month = 0;
    int day = 0;
    bool dayFirst = false;  // dd/mm/yy; otherwise yyyy-mm-dd
};

// "dd/mm/yy" or "yyyy-mm-dd" (anything after the day, such as a "T" and a
// time, is ignored); nullopt for other texts.
std::optional<CalendarDate> parseDate(const std::string& text);
std::string dateText(const CalendarDate& d);
// The one calendar of the header dates: February has 29 days when the year
// (as written, two or four digits) is divisible by 4; years keep their
// number of digits (99 rolls over to 00).
int daysInMonth(int month, int year);
CalendarDate nextDay(CalendarDate d);
CalendarDate previousDay(CalendarDate d);

// Hours, minutes and seconds of a time text split at its first two ":"
// (missing parts are 0); nullopt when it does not start with a number.
struct ClockTime {
    double hours = 0, minutes = 0, seconds = 0;
};
std::optional<ClockTime> parseTime(const std::string& text);
// Hours, minutes and seconds, each "00", joined by ":".
std::string clockText(double hours, double minutes, double seconds);

}  // namespace lv
