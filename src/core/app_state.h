// Application-wide values that every window reads and many commands change.
#pragma once

#include <cstdint>
#include <string>

#include "core/fits_image.h"

namespace lv {

// What the "OK" of a file dialog (and of a folder window) is for; each
// dialog keeps the mode it was opened with.
enum class FileDialogMode : int {
    Open = 0,
    DarkSubtract = 1,
    FlatField = 2,
    Save = 3,
    ContinuousDark = 4,
    ContinuousFlat = 5,
    LightCurveOrAutomatic = 6,
};

struct AppState {
    std::int32_t background = 0;   // display black level
    std::int32_t range = 0;        // display range, black to white
    int displayScale = 1;          // 1 full size, 2 half size
    bool duskyPicture = false;
    int bzeroSign = 1;             // +1 "Non Sign Integer" ticked, -1 unticked
    int readCalcMode = 0;          // 0 add readCalcValue, otherwise multiply
    double readCalcValue = 0.0;
    bool beepOn = false;
    std::string startFolder;
    std::string settingsPath;
    bool lineDisplay = false;      // green marker line across the picture
    std::int32_t lineRow = 0;
    // The folder the user chose last in the file dialog or a folder window:
    // the commands that work "in the current folder" read it here (native
    // separators). Set through setCurrentFolder.
    std::string currentFolder;

    // The statistics line of the main window, as last computed.
    std::string statistics = std::string(kEmptyStatisticsLine);
};

// The per-value options a read takes from the application state.
struct ReadOptions {
    int bzeroSign = 1;
    int readCalcMode = 0;
    double readCalcValue = 0.0;
    bool duskyPicture = false;
};

inline ReadOptions readOptionsOf(const AppState& s)
{
    return {s.bzeroSign, s.readCalcMode, s.readCalcValue, s.duskyPicture};
}

}  // namespace lv
