#include "photometry/photometry_run.h"

#include <cctype>
#include <algorithm>
#include <cmath>

#include "core/conventions.h"
#include "photometry/measurement.h"

namespace lv {

namespace {

// A time text rebuilt as hours, minutes and seconds, each "00".
std::string rebuiltTime(const std::string& text)
{
    const auto t = parseTime(text);
    if (!t) return text;
    return clockText(t->hours, t->minutes, t->seconds);
}

// The ensemble's comparison magnitude: each comparison star measured as the
// comparison star alone is, those that cannot be used left out with a
// message naming them, and the magnitude of the mean flux of the others by
// the same formula. nullopt (after a message) when none can be used.
std::optional<double> ensembleMagnitude(const FitsImage& image, const PhotometryState& state, const Measurement& m,
                                        PhotometryOutcome& out, Platform& platform)
{
    const auto at = [](int slot) { return static_cast<std::size_t>(slot); };
    double flux = 0;
    int used = 0;
    for (int n = 1; n <= state.comparisonCount; ++n) {
        const int s = comparisonSlot(n);
        EnsembleMember e;
        e.number = n;
        if (m.noSky[at(s + 1)]) {
            e.leftOut = "no sky sample lies inside the image";
        } else if (m.blank[at(s)] || m.blank[at(s + 1)]) {
            e.leftOut = std::string("its ") + (m.blank[at(s)] ? "aperture" : "sky box") + " holds a blank pixel";
        } else if (!instrumentalMagnitude(m, s)) {
            e.leftOut = kNoStarMessage;
        } else {
            e.quality = starQuality(image, state, m, s, out.camera);
            if (!e.quality)
                e.leftOut = kNoStarMessage;
            else if (e.quality->saturated)
                e.leftOut = "saturated (peak " + plainNumberText(static_cast<std::int64_t>(e.quality->peak)) +
                            " ADU, linearity limit " + plainNumberText(out.camera.linearity) + " ADU)";
        }
        if (e.used()) {
            flux += m.sum[at(s)] - m.sum[at(s + 1)];
            ++used;
        } else {
            platform.message("Comparison " + plainNumberText(n) + ": " + e.leftOut +
                                 "; this frame was measured without it",
                             kPhotometryTitle);
        }
        out.ensemble.push_back(std::move(e));
    }
    if (used == 0) {
        platform.message("No comparison star of the ensemble could be used on this frame, so it has no "
                         "comparison magnitude",
                         kPhotometryTitle);
        return std::nullopt;
    }
    return magnitudeOfFlux(flux / used);
}

}  // namespace

ObservationHeader readObservationHeader(const FitsImage& image)
{
    ObservationHeader h;
    std::string timeAfterT;  // a time given inside DATE-OBS, used when nothing else gives one
    // An extension's own values first, then the primary's.
    const std::vector<HeaderCard> cards = singleImageCards(image);
    for (const HeaderCard& card : cards) {
        const std::string_view key = cardKeyword(card);
        if (key == "DATE-OBS") {
            // Every DATE-OBS record is read: the last one that holds a date wins.
            std::string date;
            std::string recordTime;
            for (int p = 10; p <= 21 && date.empty(); ++p) {
                if (!isDigit(cardColumn(card, p))) continue;
                for (int q = p; q <= 25; ++q)
                    if (cardColumn(card, q) == '\'') {
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
            if (const std::string t = cardTimeField(card); !t.empty()) h.timeText = rebuiltTime(t);
        } else if (key == "EXPTIME ") {
            h.exposureTime = leadingNumber(std::string_view(card).substr(9, 21));
        }
        if (key == "JST     ") h.jstSeen = true;
    }
    if (h.timeText.empty()) {
        for (const HeaderCard& card : cards)
            if (cardKeyword(card) == "TIME-OBS") {
                h.timeText = cardTimeField(card);
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

int PhotometryOutcome::ensembleUsed() const
{
    int n = 0;
    for (const EnsembleMember& e : ensemble) n += e.used() ? 1 : 0;
    return n;
}

std::optional<StarQuality> ensembleQuality(const std::vector<EnsembleMember>& members)
{
    StarQuality q;
    double variance = 0, fwhmSum = 0, skyDeviationSum = 0, skySum = 0;
    int n = 0, widths = 0;
    for (const EnsembleMember& e : members) {
        if (!e.used() || !e.quality) continue;
        const StarQuality& s = *e.quality;
        if (n == 0) q.aperturePixels = s.aperturePixels;
        q.flux += s.flux;
        variance += s.fluxError * s.fluxError;
        q.skyPixels += s.skyPixels;
        skySum += s.skyPerPixel;
        skyDeviationSum += s.skyDeviation;
        q.peak = std::max(q.peak, s.peak);
        if (s.fwhm) {
            fwhmSum += *s.fwhm;
            ++widths;
        }
        ++n;
    }
    if (n == 0) return std::nullopt;
    q.flux /= n;
    q.fluxError = std::sqrt(variance) / n;
    q.snr = q.flux / q.fluxError;
    q.magnitudeError = 1.0857362 * q.fluxError / q.flux;
    q.skyPerPixel = skySum / n;
    q.skyDeviation = skyDeviationSum / n;
    if (widths > 0) q.fwhm = fwhmSum / widths;
    return q;
}

std::optional<double> PhotometryOutcome::variableMinusComparisonError() const
{
    if (!quality[0] || !quality[1]) return std::nullopt;
    return differenceError(quality[1]->magnitudeError, quality[0]->magnitudeError);
}

std::optional<double> PhotometryOutcome::comparisonMinusCheckError() const
{
    if (!quality[0] || !quality[2]) return std::nullopt;
    return differenceError(quality[0]->magnitudeError, quality[2]->magnitudeError);
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
    // The measurement's science: the header's camera values before the settings'.
    out.camera = cameraNoiseOf(image, state.targetSite.camera);
    for (std::size_t i = 0; i < kStarSlots.size(); ++i) {
        const int s = kStarSlots[i];
        if (s == kComparison && state.ensemble()) {
            const auto magnitude = ensembleMagnitude(image, state, m, out, platform);
            if (!magnitude) {
                out.allMeasured = false;
                continue;
            }
            const double rounded = roundMagnitude(*magnitude, state.settings.digits);
            out.magnitudes[i] = rounded;
            state.magnitudeField(s) = numberText(rounded);
            continue;
        }
        if (m.noSky[static_cast<std::size_t>(s + 1)]) {
            platform.message(std::string("No sky sample lies inside the image for the ") + kNames[i] +
                                 " star: move it or make the sky area smaller",
                             kPhotometryTitle);
            out.allMeasured = false;
            continue;
        }
        if (m.blank[static_cast<std::size_t>(s)] || m.blank[static_cast<std::size_t>(s + 1)]) {
            // As for no star: no magnitude, and the run says which star and why.
            platform.message(std::string("The ") + (m.blank[static_cast<std::size_t>(s)] ? "aperture" : "sky box") +
                                 " of the " + kNames[i] + " star holds a blank pixel, so the star was not measured",
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
    for (std::size_t i = 0; i < kStarSlots.size(); ++i) {
        if (!out.magnitudes[i]) continue;
        if (i == 0 && state.ensemble())
            out.quality[0] = ensembleQuality(out.ensemble);
        else
            out.quality[i] = starQuality(image, state, m, kStarSlots[i], out.camera);
    }
    if (!out.allMeasured) return out;

    const ObservationHeader header = readObservationHeader(image);
    const std::optional<SkyPosition> target = headerPosition(image);
    const std::optional<ObservingSite> site = headerSite(image);
    out.times = observationTimes(midExposureJd(header), target ? target : state.targetSite.target,
                                 site ? site : state.targetSite.site);
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
