// The settings file, lumavist.ini in the folder the application started from.
#pragma once

#include <array>
#include <string>

namespace lv {

// A window's left and top position on the screen, in twips.
struct WindowPosition {
    double left = 0.0;
    double top = 0.0;
    bool known = false;  // false: not in the settings file yet
};

// Twips per screen pixel.
inline constexpr int kTwipsPerPixel = 15;

// The windows whose positions the settings file keeps, in file order
// (lines 8 to 22).
enum class SettingsWindow : int {
    Main = 0,
    FileDialog,
    Header,
    Image,
    Zoom,
    Folder,
    AutomaticConfirm,
    IntensityCurve,
    IntensityGraph,
    Binning,
    Calculation,
    LightCurve,
    HighOrder,
    Composite,
    BzeroBscale,
    Count
};

struct AppSettings {
    std::string observerCode;         // line 1
    std::string comparisonColour;     // line 2
    std::string starName;             // line 3
    std::string comparisonMagnitude;  // line 4
    std::string observerPlace;        // line 5
    std::string instruments;          // line 6
    int beepOn = 0;                   // line 7
    std::array<WindowPosition, static_cast<std::size_t>(SettingsWindow::Count)> windows{};  // lines 8-22
    double axisStart = 0.0;           // line 23
    double axisEnd = 0.0;
    int digits = 3;                   // line 24: 2 or 3
    double timeZoneHours = 0.0;       // line 25: 0 or 9
    std::string comparisonName;       // line 26: the comparison star's name for the AAVSO export
    std::string checkName;            // line 27: the check star's name (lines 26, 27 only once set)
    std::string aavsoUtOffset;        // line 28: hours the data's times are ahead of UT, as typed (only once set)
    bool anyFits = false;             // line 29: "also .fits and compressed frames" (only while ticked)
    // Lines 30 to 37, as typed in "Target and Site" (only once one is set):
    // the target's RA and Dec (J2000), the site's latitude, longitude (east)
    // and height, the camera's gain, read noise and linearity limit.
    std::string targetRa, targetDec, siteLatitude, siteLongitude, siteHeight;
    std::string cameraGain, cameraReadNoise, cameraLinearity;
    // Line 38: the positions of the ensemble's comparison stars 2 ... 10,
    // "X Y X Y ..." (only while there is an ensemble).
    std::string ensemblePositions;
    bool targetSiteUsed() const
    {
        return !targetRa.empty() || !targetDec.empty() || !siteLatitude.empty() || !siteLongitude.empty() ||
               !siteHeight.empty() || !cameraGain.empty() || !cameraReadNoise.empty() || !cameraLinearity.empty();
    }

    WindowPosition& window(SettingsWindow w) { return windows[static_cast<std::size_t>(w)]; }
    const WindowPosition& window(SettingsWindow w) const { return windows[static_cast<std::size_t>(w)]; }
};

// Reads the settings file. Values missing from a short file, or all of them
// when the file is missing, keep their defaults. Returns false when the file
// could not be opened.
bool readSettings(const std::string& path, AppSettings& settings);

// The 25 lines of the settings file, CR LF ended.
std::string settingsText(const AppSettings& settings);

// Replaces the settings file; false with `error` set when it cannot be written.
bool writeSettings(const std::string& path, const AppSettings& settings, std::string& error);

// The settings file's name in the start folder.
std::string settingsPathIn(const std::string& startFolder);

}  // namespace lv
