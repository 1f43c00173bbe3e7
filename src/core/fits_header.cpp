#include "core/fits_header.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "core/conventions.h"

namespace lv {

HeaderScan scanHeader(std::FILE* file, unsigned long long fileLength, int limit)
{
    HeaderScan scan;
    const long long complete = static_cast<long long>(fileLength / kCardLength);
    const int toScan = static_cast<int>(std::min<long long>(complete, limit));
    char block[kBlockLength];
    int scanned = 0;
    while (scanned < toScan && !scan.endFound) {
        const int inBlock = std::min(kCardsPerBlock, toScan - scanned);
        const std::size_t want = static_cast<std::size_t>(inBlock) * kCardLength;
        if (std::fread(block, 1, want, file) != want) {
            scan.readFailed = true;
            scan.err = errno;
            return scan;
        }
        for (int r = 0; r < inBlock; ++r) {
            scan.cards.emplace_back(block + r * kCardLength, kCardLength);
            ++scanned;
            if (std::memcmp(block + r * kCardLength, "END", 3) == 0) {
                scan.endFound = true;
                break;
            }
        }
    }
    scan.limitReached = !scan.endFound && scanned == limit;
    return scan;
}

double cardValue(const HeaderCard& card)
{
    if (card.size() < 10) return 0.0;
    return leadingNumber(std::string_view(card).substr(9, 21));
}

const HeaderCard* lastCard(const std::vector<HeaderCard>& cards, std::string_view keyword)
{
    const HeaderCard* found = nullptr;
    for (const HeaderCard& card : cards)
        if (cardKeyword(card) == keyword) found = &card;
    return found;
}

ImageKeys imageKeys(const std::vector<HeaderCard>& cards)
{
    ImageKeys k;
    for (const HeaderCard& card : cards) {
        const std::string_view key = cardKeyword(card);
        if (key == "BITPIX  ")
            k.bitpix = toInt32Saturated(cardValue(card));
        else if (key == "NAXIS1  ")
            k.naxis1 = toInt32Saturated(cardValue(card));
        else if (key == "NAXIS2  ")
            k.naxis2 = toInt32Saturated(cardValue(card));
        else if (key == "NAXIS3  ")
            k.naxis3 = toInt32Saturated(cardValue(card));
        else if (key == "BZERO   ")
            k.bzero = cardValue(card);
        else if (key == "BSCALE  ")
            k.bscale = cardValue(card);
    }
    return k;
}

long long dataUnitBytes(const std::vector<HeaderCard>& cards)
{
    const HeaderCard* bitpix = lastCard(cards, "BITPIX  ");
    const HeaderCard* naxis = lastCard(cards, "NAXIS   ");
    if (!bitpix || !naxis) return -1;
    const double bits = std::fabs(cardValue(*bitpix));
    const double axes = cardValue(*naxis);
    if (axes == 0) return 0;
    if (!(axes >= 1 && axes <= 999) || !(bits >= 8 && bits <= 64)) return -1;
    double values = 1;
    for (int a = 1; a <= static_cast<int>(axes); ++a) {
        std::string key = "NAXIS" + std::to_string(a);
        key.resize(8, ' ');
        const HeaderCard* n = lastCard(cards, key);
        if (!n) return -1;
        values *= cardValue(*n);
    }
    const HeaderCard* pcount = lastCard(cards, "PCOUNT  ");
    const HeaderCard* gcount = lastCard(cards, "GCOUNT  ");
    const double bytes = bits / 8 * (gcount ? cardValue(*gcount) : 1.0) * ((pcount ? cardValue(*pcount) : 0.0) + values);
    if (!(bytes >= 0 && bytes < 1e18)) return -1;
    const auto whole = static_cast<long long>(bytes);
    return (whole + kBlockLength - 1) / kBlockLength * kBlockLength;
}

std::vector<HeaderCard> singleImageCards(const FitsImage& image)
{
    const auto split = static_cast<std::size_t>(std::clamp(image.primaryRecords, 0, image.cardCount()));
    if (split == 0) return image.cards;
    auto isEnd = [](const HeaderCard& c) { return c.compare(0, 3, "END") == 0; };
    auto isStructural = [&](std::string_view key) {
        return key == "SIMPLE  " || key == "XTENSION" || key == "BITPIX  " || key.substr(0, 5) == "NAXIS" ||
               key == "EXTEND  " || key == "PCOUNT  " || key == "GCOUNT  " || key == "BZERO   " ||
               key == "BSCALE  " || key == "BLANK   ";
    };
    auto isCommentary = [](std::string_view key) {
        return key == "COMMENT " || key == "HISTORY " || key == "        ";
    };
    std::vector<HeaderCard> out;
    out.push_back(paddedCard("SIMPLE  =                    T"));
    std::vector<std::string_view> own;
    for (std::size_t i = split; i < image.cards.size(); ++i) {
        const HeaderCard& c = image.cards[i];
        if (isEnd(c)) break;
        const std::string_view key = cardKeyword(c);
        if (key == "XTENSION" || key == "PCOUNT  " || key == "GCOUNT  ") continue;
        out.push_back(c);
        own.push_back(key);
    }
    for (std::size_t i = 0; i < split; ++i) {
        const HeaderCard& c = image.cards[i];
        if (isEnd(c)) break;
        const std::string_view key = cardKeyword(c);
        if (isStructural(key)) continue;
        if (!isCommentary(key) && std::find(own.begin(), own.end(), key) != own.end()) continue;
        out.push_back(c);
    }
    out.push_back(endCard());
    return out;
}

HeaderCard paddedCard(std::string text)
{
    text.resize(kCardLength, ' ');
    return text;
}

HeaderCard valueCard(const std::string& keyword, const std::string& value)
{
    std::string c = keyword;
    c.resize(8, ' ');
    c += "= ";
    if (!value.empty() && value[0] == '\'')
        c += value;
    else
        c += std::string(value.size() < 20 ? 20 - value.size() : 0, ' ') + value;
    return paddedCard(std::move(c));
}

HeaderCard commentCard(const std::string& text) { return paddedCard("COMMENT " + text); }

HeaderCard endCard() { return paddedCard("END"); }

void setCardValue(HeaderCard& card, std::string_view field)
{
    if (card.size() < 9 + field.size()) card.resize(9 + field.size(), ' ');
    std::copy(field.begin(), field.end(), card.begin() + 9);
}

char cardColumn(const HeaderCard& card, int col)
{
    return col >= 1 && col <= static_cast<int>(card.size()) ? card[static_cast<std::size_t>(col - 1)] : ' ';
}

std::string cardColumns(const HeaderCard& card, int col, int n)
{
    if (col < 1 || col > static_cast<int>(card.size())) return {};
    return card.substr(static_cast<std::size_t>(col - 1), static_cast<std::size_t>(n));
}

int firstDigitColumn(const HeaderCard& card, int from, int to)
{
    for (int p = from; p <= to; ++p)
        if (isDigit(cardColumn(card, p))) return p;
    return 0;
}

std::string cardTimeField(const HeaderCard& card)
{
    const int p = firstDigitColumn(card, 10, 21);
    return p ? card.substr(static_cast<std::size_t>(p - 1), 8) : std::string();
}

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

std::string clockText(double hours, double minutes, double seconds)
{
    return formatPattern(hours, "00") + ":" + formatPattern(minutes, "00") + ":" + formatPattern(seconds, "00");
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

int daysInMonth(int month, int year)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) return year % 4 == 0 ? 29 : 28;
    return month >= 1 && month <= 12 ? days[month - 1] : 31;
}

namespace {
int yearModulus(const CalendarDate& d) { return d.fourDigitYear ? 10000 : 100; }
}  // namespace

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

}  // namespace lv
