// Dark and flat calibration: the calibration-file reader, the single-frame
// "Dark Subtract" and "Flat Field" of the current image, and continuous
// calibration, which rewrites every frame of a folder in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/job_progress.h"
#include "core/pixel_pool.h"
#include "core/platform.h"
#include "core/file_queue.h"
#include "core/undo.h"

namespace lv {

enum class CalibrationKind { Dark, Flat };

// The two callers of the reader differ in their header rules and messages.
enum class CalibrationForm {
    // "Dark Subtract" / "Flat Field" of the current image: bare messages,
    // BITPIX taken by its absolute value with -32 as float data, and dark
    // values kept below 0.
    Single,
    // Continuous calibration: messages start with "dark frame" or "flat
    // field", BITPIX must be 8, 16 or 32, every value below 0 is stored as 0.
    Continuous,
};

// The decoded dark or flat frame.
struct CalibrationFrame {
    int naxis1 = 0;
    int naxis2 = 0;
    int bitpix = 0;                    // of the file, after the form's rule
    std::vector<std::int32_t> values;  // naxis1 x naxis2, x fastest, rounded
    // The single-frame dark subtracts the values before rounding: kept here
    // for that form only (empty otherwise).
    std::vector<double> exact;
    long long sum = 0;                 // of the stored values, in 64 bits

    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(naxis1) + static_cast<std::size_t>(x);
    }
    std::int32_t at(int x, int y) const { return values[index(x, y)]; }
};

inline constexpr int kMaxCalibrationCards = 1000;

// Reads `path` into `frame`. Values are BZERO x bzeroSign + raw x BSCALE,
// rounded halves to even; 16-bit values of 65536 or more lose 65536 and
// 8-bit values of 256 or more lose 256, as the image reader wraps them.
// Returns false when the file is refused: the reason has been shown and
// `frame` is unchanged.
bool readCalibrationFile(const std::string& path, CalibrationKind kind, CalibrationForm form, int bzeroSign,
                         CalibrationFrame& frame, Platform& platform);

struct SingleCalibration {
    CalibrationKind kind = CalibrationKind::Dark;
    std::string path;         // the dark or flat file
    bool minusUsed = false;   // dark: keep results below 0
    int bzeroSign = 1;
};

// "Dark Subtract" or "Flat Field" of the current image, at the positions
// the image and the calibration frame share. Takes the undo snapshot
// first. Returns true when the image was changed (maxValue and minValue
// then cover the changed pixels); on a refused file the reason was shown
// and the image is exactly as it was.
bool calibrateImage(FitsImage& image, UndoBuffer& undo, CalibrationFrame& frame, const SingleCalibration& settings,
                    Platform& platform);

struct ContinuousCalibration {
    CalibrationKind kind = CalibrationKind::Dark;
    std::string calibrationPath;  // DarkFilePath or FlatFilePath
    std::string folder;           // where the queue's names are; empty: the current folder
};

struct ContinuousResult {
    bool started = false;      // the question was answered OK
    bool frameRead = false;    // the calibration file was read
    int calibrated = 0;        // frames rewritten
    int skipped = 0;           // qualifying frames left as they were
    bool stopped = false;      // the user stopped the job
    bool writeFailed = false;  // a frame could not be written; the job ended there
};

// Continuous calibration of the queue's qualifying frames, each read into
// `image`, calibrated and written back over its own file. A frame the
// reader rejects, one larger than the calibration frame, or one with more
// than one plane is left as it was, with a message. "UnDo" becomes
// unavailable.
ContinuousResult runContinuousCalibration(FitsImage& image, AppState& state, PixelPool* pool, UndoBuffer& undo,
                                          CalibrationFrame& frame, FileQueue& queue,
                                          const ContinuousCalibration& settings, JobProgress& progress,
                                          Platform& platform);

// The per-pixel rules of continuous calibration, for one frame.
void subtractDark(FitsImage& image, const CalibrationFrame& dark);
void divideByFlat(FitsImage& image, const CalibrationFrame& flat, std::int32_t mean);

// The flat's mean: its sum over `columns` and then `rows`, halves to even.
std::int32_t flatMean(long long sum, int columns, int rows);

}  // namespace lv
