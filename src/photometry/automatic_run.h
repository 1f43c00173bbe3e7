// Automatic photometry over a folder: the preparation the folder window's
// OK makes, and the run behind the main window's "Automatic" button. The run
// is a state machine: the window calls measure(), shows what the status
// asks for (a new frame, the per-frame question) and calls back with the
// answer; nothing waits in a loop.
#pragma once

#include <string>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/pixel_pool.h"
#include "core/platform.h"
#include "lightcurve/mag_est.h"
#include "photometry/photometry_run.h"
#include "photometry/photometry_state.h"
#include "core/file_queue.h"

namespace lv {

// Date, time and exposure of a saved line, read from the frame's header.
// `runExposure` is the exposure the photometry run read; it is used when
// DATE-OBS holds the time after a "T".
struct SavedLineHeader {
    std::string date = "00/00/00";
    std::string time = "00:00:00";
    double exposure = 0.0;
};
SavedLineHeader readSavedLineHeader(const FitsImage& image, double runExposure, int timeZoneHours);

// The date moved on by one day, written dd/mm/yy: from an 8-character date
// day 1-2, month 4-5, year 7-8, from any other year 3-4, month 6-7, day
// 9-10. February has 29 days when the two-digit year is divisible by 4;
// 31 December of 99 goes to 1 January of 00.
std::string nextDayText(const std::string& date);

inline constexpr const char* kAutomaticEndMessage = "Automatic photometry end";
inline constexpr const char* kPositionsNotSetMessage = "Selecting the Variavble star and the Comparison star position";
inline constexpr const char* kProcedureMessage =
    "1. Selecting the Variavble star and the Comparison star\r\n2. Push an Automatic button";
inline constexpr const char* kProcedureTitle = "Automatic photometry procedure";

// What the run works on; the session's objects.
struct AutomaticContext {
    FitsImage& image;
    AppState& state;
    PixelPool* pool;
    PhotometryState& photometry;
    FileQueue& queue;
    Platform& platform;
};

struct AutomaticSetup {
    bool picturesNotChecked = false;  // every frame saved without asking
    bool displayPictures = true;      // "display picture?" answered OK
    std::string readFolder;           // the queue's names are read from here; empty: the current folder
    std::string currentFolder;        // absolute: where mag_est.txt is, and the folder of every line's path
};

enum class FrameChoice { Waiting = 0, Save = 1, Skip = 2, Cancel = 3 };

enum class AutomaticStatus {
    FrameLoaded,     // the next frame is in the image: draw it, then measure() again
    AwaitingChoice,  // show the markers and the per-frame window, then choose()
    Ended,           // see end()
};

enum class AutomaticEnd {
    None,
    PositionsNotSet,  // the message was shown; "Automatic" continues from this frame
    Cancelled,        // no message; "Automatic" continues from this frame
    Finished,         // "Automatic photometry end" was shown: the run is over
    WriteFailed,      // mag_est.txt could not be written; the message was shown
};

enum class PrepareOutcome {
    Loaded,      // the first frame is in the image: draw it and show the procedure message
    NoFrame,     // the queue has no qualifying frame
    LoadFailed,  // the first frame was rejected (the reader said why)
    FileFailed,  // mag_est.txt could not be created (the message was shown)
};

class AutomaticRun {
public:
    // The folder window's OK for automatic photometry: empties mag_est.txt
    // in the current folder and loads the queue's first qualifying frame.
    PrepareOutcome prepare(AutomaticContext& ctx, const AutomaticSetup& setup);

    // "Automatic": measures the current frame. Unattended, the frame is then
    // saved and the next one loaded; otherwise the run waits for choose().
    AutomaticStatus measure(AutomaticContext& ctx);
    // The per-frame answer: save or not, then the next frame; or cancel.
    AutomaticStatus choose(AutomaticContext& ctx, FrameChoice choice);

    bool prepared() const { return prepared_; }
    // The last frame's measurement (errors, flags, times) as the run made it.
    const PhotometryOutcome& outcome() const { return outcome_; }
    bool waiting() const { return waiting_; }
    AutomaticEnd end() const { return end_; }
    const AutomaticSetup& setup() const { return setup_; }
    // A line was written since the run was prepared.
    bool linesWritten() const { return linesWritten_ > 0; }
    int linesWrittenCount() const { return linesWritten_; }
    std::string magEstPath() const;
    // The night's table beside mag_est.txt, and the rows written to it since the run was prepared.
    std::string nightTable() const;
    int tableRowsWritten() const { return tableRows_; }
    // "End of Auto": the main window returns to normal.
    void reset();

private:
    AutomaticStatus ended(AutomaticEnd why);
    // Step 6 and 7: moves to the next qualifying frame and loads it.
    AutomaticStatus next(AutomaticContext& ctx);
    bool load(AutomaticContext& ctx);

    AutomaticSetup setup_;
    bool prepared_ = false;
    bool loaded_ = false;   // the queue's current frame is in the image
    bool waiting_ = false;
    bool measured_ = false;
    PhotometryOutcome outcome_;
    AutomaticEnd end_ = AutomaticEnd::None;
    int linesWritten_ = 0;
    int tableRows_ = 0;
    bool ensembleColumns_ = false;  // the table was begun with an ensemble's columns
};

}  // namespace lv
