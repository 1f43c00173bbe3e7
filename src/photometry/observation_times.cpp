#include "photometry/observation_times.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include <erfa.h>
#include <erfam.h>

#include "core/conventions.h"
#include "core/fits_header.h"
#include "photometry/photometry_run.h"

namespace lv {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kLightSpeed = 299792458.0;  // m/s

// The value of a record as text: inside the quotes, or the field before a comment.
std::optional<std::string> recordText(const std::vector<HeaderCard>& cards, const char* key)
{
    std::string keyword(key);
    keyword.resize(8, ' ');
    const HeaderCard* c = lastCard(cards, keyword);
    if (!c || c->size() < 10 || c->compare(8, 2, "= ") != 0) return std::nullopt;
    std::string value = c->substr(10);
    const std::size_t open = value.find_first_not_of(' ');
    if (open == std::string::npos) return std::nullopt;
    if (value[open] == '\'') {
        const std::size_t close = value.find('\'', open + 1);
        if (close == std::string::npos) return std::nullopt;
        value = value.substr(open + 1, close - open - 1);
    } else {
        value = value.substr(open, value.find('/', open) == std::string::npos ? std::string::npos
                                                                               : value.find('/', open) - open);
    }
    while (!value.empty() && value.back() == ' ') value.pop_back();
    if (value.empty()) return std::nullopt;
    return value;
}

// A decimal number and nothing else.
bool isNumber(const std::string& text) { return decimalNumber(text, "").has_value(); }

bool validPosition(const SkyPosition& p)
{
    return p.raDegrees >= 0 && p.raDegrees < 360 && p.decDegrees >= -90 && p.decDegrees <= 90;
}

}  // namespace

std::optional<double> midExposureJd(const ObservationHeader& header)
{
    const auto date = parseDate(header.dateText);
    const auto time = parseTime(header.timeText);
    if (!date || !time || header.timeText.empty()) return std::nullopt;
    const int year = date->fourDigitYear ? date->year : 2000 + date->year;
    if (date->day > daysInMonth(date->month, date->year)) return std::nullopt;
    double mjd0 = 0, mjd = 0;
    if (eraCal2jd(year, date->month, date->day, &mjd0, &mjd) != 0) return std::nullopt;
    double seconds = time->hours * 3600.0 + time->minutes * 60.0 + time->seconds;
    if (header.jstSeen) seconds -= 9 * 3600.0;  // Japan time is 9 hours ahead of UTC
    if (header.exposureTime > 0) seconds += header.exposureTime / 2.0;
    if (!std::isfinite(seconds)) return std::nullopt;
    return mjd0 + mjd + seconds / kSecondsPerDay;
}

std::optional<double> angleDegrees(const std::string& text, bool hours)
{
    std::string t = text;
    for (char& c : t)
        if (c == ':' || c == 'h' || c == 'm' || c == 'd' || c == '\'' || c == '"') c = ' ';
    while (!t.empty() && (t.back() == ' ' || t.back() == 's')) t.pop_back();
    const std::size_t first = t.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    t = t.substr(first);
    const bool negative = t[0] == '-';
    if (t[0] == '-' || t[0] == '+') t = t.substr(1);
    std::vector<double> parts;
    std::size_t i = 0;
    while (i < t.size()) {
        while (i < t.size() && t[i] == ' ') ++i;
        std::size_t j = i;
        while (j < t.size() && t[j] != ' ') ++j;
        if (j == i) break;
        const std::string part = t.substr(i, j - i);
        if (!isNumber(part)) return std::nullopt;
        parts.push_back(leadingNumber(part));
        i = j;
    }
    if (parts.empty() || parts.size() > 3) return std::nullopt;
    if (parts.size() == 1) return negative ? -parts[0] : parts[0];
    for (std::size_t k = 1; k < parts.size(); ++k)
        if (parts[k] < 0 || parts[k] >= 60) return std::nullopt;
    double v = parts[0] + parts[1] / 60.0 + (parts.size() == 3 ? parts[2] / 3600.0 : 0.0);
    if (hours) v *= 15.0;
    return negative ? -v : v;
}

std::optional<SkyPosition> headerPosition(const FitsImage& image)
{
    const std::vector<HeaderCard> cards = singleImageCards(image);
    const std::pair<const char*, const char*> pairs[] = {{"OBJCTRA", "OBJCTDEC"}, {"RA", "DEC"}};
    for (const auto& [raKey, decKey] : pairs) {
        const auto ra = recordText(cards, raKey);
        const auto dec = recordText(cards, decKey);
        if (!ra || !dec) continue;
        // OBJCTRA is in hours always; RA in hours when written in parts.
        const bool raInParts = ra->find_first_of(" :") != std::string::npos;
        const auto raDegrees = angleDegrees(*ra, std::string(raKey) == "OBJCTRA" || raInParts);
        const auto decDegrees = angleDegrees(*dec, false);
        if (!raDegrees || !decDegrees) continue;
        const SkyPosition p{*raDegrees, *decDegrees};
        if (validPosition(p)) return p;
    }
    return std::nullopt;
}

std::optional<ObservingSite> headerSite(const FitsImage& image)
{
    const std::vector<HeaderCard> cards = singleImageCards(image);
    const char* const keys[][3] = {{"SITELAT", "SITELONG", "SITEELEV"}, {"LAT-OBS", "LONG-OBS", "ALT-OBS"}};
    for (const auto& k : keys) {
        const auto lat = recordText(cards, k[0]);
        const auto lon = recordText(cards, k[1]);
        if (!lat || !lon) continue;
        const auto latitude = angleDegrees(*lat, false);
        const auto longitude = angleDegrees(*lon, false);
        if (!latitude || !longitude || std::fabs(*latitude) > 90 || std::fabs(*longitude) > 360) continue;
        ObservingSite site{*latitude, *longitude > 180 ? *longitude - 360 : *longitude, 0};
        if (const auto h = recordText(cards, k[2]); h && isNumber(*h)) site.heightMetres = leadingNumber(*h);
        return site;
    }
    return std::nullopt;
}

TargetAndSite targetSiteOf(const AppSettings& s)
{
    TargetAndSite t;
    auto positive = [](const std::string& text, double& field) {
        if (isNumber(text) && leadingNumber(text) > 0) field = leadingNumber(text);
    };
    positive(s.cameraGain, t.camera.gain);
    if (isNumber(s.cameraReadNoise) && leadingNumber(s.cameraReadNoise) >= 0) t.camera.readNoise = leadingNumber(s.cameraReadNoise);
    positive(s.cameraLinearity, t.camera.linearity);
    const auto ra = angleDegrees(s.targetRa, true);
    const auto dec = angleDegrees(s.targetDec, false);
    if (ra && dec && validPosition({*ra, *dec})) t.target = SkyPosition{*ra, *dec};
    const auto lat = angleDegrees(s.siteLatitude, false);
    const auto lon = angleDegrees(s.siteLongitude, false);
    if (lat && lon && std::fabs(*lat) <= 90 && std::fabs(*lon) <= 180)
        t.site = ObservingSite{*lat, *lon, isNumber(s.siteHeight) ? leadingNumber(s.siteHeight) : 0.0};
    return t;
}

std::string targetSiteProblem(const AppSettings& s)
{
    const TargetAndSite read = targetSiteOf(s);
    if ((!s.targetRa.empty() || !s.targetDec.empty()) && !read.target)
        return "RA and Dec go together, as hh:mm:ss and +dd:mm:ss (or both in degrees)";
    if ((!s.siteLatitude.empty() || !s.siteLongitude.empty()) && !read.site)
        return "Latitude and longitude go together, in degrees (-90 ... 90 and -180 ... 180, east positive)";
    if (!s.siteHeight.empty() && !isNumber(s.siteHeight)) return "The height is a number of metres";
    if (!s.cameraGain.empty() && !(isNumber(s.cameraGain) && leadingNumber(s.cameraGain) > 0))
        return "The gain is a number of electrons per ADU above 0";
    if (!s.cameraReadNoise.empty() && !(isNumber(s.cameraReadNoise) && leadingNumber(s.cameraReadNoise) >= 0))
        return "The read noise is a number of electrons, 0 or more";
    if (!s.cameraLinearity.empty() && !(isNumber(s.cameraLinearity) && leadingNumber(s.cameraLinearity) > 0))
        return "The linearity limit is a number of ADU above 0";
    return {};
}

ObservationTimes observationTimes(std::optional<double> jdUtc, const std::optional<SkyPosition>& target,
                                  const std::optional<ObservingSite>& site)
{
    ObservationTimes out;
    if (!jdUtc || !std::isfinite(*jdUtc)) return out;
    out.jdUtc = jdUtc;
    if (!target || !validPosition(*target)) return out;
    // Two-part dates keep the precision of a day's fraction.
    const double utc1 = std::floor(*jdUtc), utc2 = *jdUtc - std::floor(*jdUtc);
    double tai1 = 0, tai2 = 0, tt1 = 0, tt2 = 0;
    if (eraUtctai(utc1, utc2, &tai1, &tai2) < 0 || eraTaitt(tai1, tai2, &tt1, &tt2) != 0) return out;
    const double ra = target->raDegrees * ERFA_DD2R, dec = target->decDegrees * ERFA_DD2R;
    double toward[3] = {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
    // TDB from TT at the geocentre (the site's term is below a microsecond of a second's fraction here).
    const double tdb2 = tt2 + eraDtdb(tt1, tt2, utc2, 0, 0, 0) / kSecondsPerDay;
    double heliocentric[2][3], barycentric[2][3];
    eraEpv00(tt1, tdb2, heliocentric, barycentric);
    const double auDays = ERFA_AULT / kSecondsPerDay;  // light time for one au, in days
    out.hjdUtc = *jdUtc + eraPdp(heliocentric[0], toward) * auDays;
    double bjd = tt1 + tdb2 + eraPdp(barycentric[0], toward) * auDays;
    if (site) {
        // The site's offset from the geocentre, turned with the Earth.
        const double elong = site->longitudeDegrees * ERFA_DD2R, phi = site->latitudeDegrees * ERFA_DD2R;
        double pv[2][3];
        eraPvtob(elong, phi, site->heightMetres, 0, 0, 0, eraEra00(utc1, utc2), pv);
        bjd += eraPdp(pv[0], toward) / kLightSpeed / kSecondsPerDay;
        // The true (unrefracted) zenith distance: no air pressure, no refraction.
        double aob = 0, zob = 0, hob = 0, dob = 0, rob = 0, eo = 0;
        if (eraAtco13(ra, dec, 0, 0, 0, 0, utc1, utc2, 0, elong, phi, site->heightMetres, 0, 0, 0, 0, 0, 0.55, &aob,
                      &zob, &hob, &dob, &rob, &eo) >= 0 &&
            zob < ERFA_DPI / 2)
            out.airmass = 1.0 / std::cos(zob);
    }
    out.bjdTdb = bjd;
    return out;
}

}  // namespace lv
