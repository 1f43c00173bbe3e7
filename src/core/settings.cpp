#include "core/settings.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/conventions.h"
#include "core/file_replace.h"

namespace lv {

namespace {

// Numbers of a line read the way numeric input does: separated by blanks or
// commas, each taken by its leading numeric part. They end before one too
// large to hold ("1e999"), so the setting keeps its default rather than an
// infinity that could not be written back.
std::vector<double> numbersOf(const std::string& line)
{
    std::vector<double> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',')) ++i;
        if (i >= line.size()) break;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != ',') ++j;
        const double v = leadingNumber(std::string_view(line).substr(i, j - i));
        if (!std::isfinite(v)) break;
        out.push_back(v);
        i = j;
    }
    return out;
}

}  // namespace

std::string settingsPathIn(const std::string& startFolder) { return joinPath(startFolder, "lumavist.ini"); }

bool readSettings(const std::string& path, AppSettings& s)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<std::string> lines;
    std::string line;
    while (lines.size() < 38 && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    auto text = [&](std::size_t n, std::string& field) {
        if (n <= lines.size()) field = lines[n - 1];
    };
    auto numbers = [&](std::size_t n) { return n <= lines.size() ? numbersOf(lines[n - 1]) : std::vector<double>{}; };

    text(1, s.observerCode);
    text(2, s.comparisonColour);
    text(3, s.starName);
    text(4, s.comparisonMagnitude);
    text(5, s.observerPlace);
    text(6, s.instruments);
    if (const auto v = numbers(7); !v.empty()) s.beepOn = toInt32Saturated(v[0]);
    for (std::size_t w = 0; w < s.windows.size(); ++w) {
        const auto v = numbers(8 + w);
        if (v.size() >= 2) s.windows[w] = {v[0], v[1], true};
    }
    if (const auto v = numbers(23); v.size() >= 2) {
        s.axisStart = v[0];
        s.axisEnd = v[1];
    }
    if (const auto v = numbers(24); !v.empty()) s.digits = toInt32Saturated(v[0]);
    if (const auto v = numbers(25); !v.empty()) s.timeZoneHours = v[0];
    text(26, s.comparisonName);
    text(27, s.checkName);
    text(28, s.aavsoUtOffset);
    if (const auto v = numbers(29); !v.empty()) s.anyFits = v[0] == 1;
    text(30, s.targetRa);
    text(31, s.targetDec);
    text(32, s.siteLatitude);
    text(33, s.siteLongitude);
    text(34, s.siteHeight);
    text(35, s.cameraGain);
    text(36, s.cameraReadNoise);
    text(37, s.cameraLinearity);
    text(38, s.ensemblePositions);
    return true;
}

std::string settingsText(const AppSettings& s)
{
    std::string out;
    auto line = [&](const std::string& text) {
        out += text;
        out += kCrLf;
    };
    line(s.observerCode);
    line(s.comparisonColour);
    line(s.starName);
    line(s.comparisonMagnitude);
    line(s.observerPlace);
    line(s.instruments);
    line(numberText(s.beepOn));
    for (const WindowPosition& w : s.windows)
        line(PrintLine().number(w.left, false).nextZone().number(w.top, false).str());
    line(PrintLine()
             .text(formatPattern(s.axisStart, "####.###"))
             .nextZone()
             .text(formatPattern(s.axisEnd, "####.###"))
             .str());
    line(numberText(s.digits));
    line(numberText(s.timeZoneHours));
    // The export's star names follow only once they are used, so a file that
    // never had them keeps its 25 lines.
    // Each later line brings the ones before it.
    const bool ensemble = !s.ensemblePositions.empty();
    const bool targetSite = s.targetSiteUsed() || ensemble;
    const bool anyFits = s.anyFits || targetSite;
    const bool utOffset = !s.aavsoUtOffset.empty() || anyFits;
    if (!s.comparisonName.empty() || !s.checkName.empty() || utOffset) {
        line(s.comparisonName);
        line(s.checkName);
    }
    if (utOffset) line(s.aavsoUtOffset);
    if (anyFits) line(numberText(s.anyFits ? 1 : 0));
    if (targetSite)
        for (const std::string* t : {&s.targetRa, &s.targetDec, &s.siteLatitude, &s.siteLongitude, &s.siteHeight,
                                     &s.cameraGain, &s.cameraReadNoise, &s.cameraLinearity})
            line(*t);
    if (ensemble) line(s.ensemblePositions);
    return out;
}

bool writeSettings(const std::string& path, const AppSettings& settings, std::string& error)
{
    return replaceFileWith(path, settingsText(settings), error);
}

}  // namespace lv
