// The "Photometry" command: measure the three stars of the frame in view,
// show their magnitudes, read the observation time from the header and build
// the result line and the report line for the clipboard.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/fits_header.h"
#include "core/fits_image.h"
#include "core/platform.h"
#include "photometry/observation_times.h"
#include "photometry/photometry_state.h"
#include "photometry/star_quality.h"

namespace lv {

// Observation date, time and exposure as the header gives them.
struct ObservationHeader {
    std::string dateText;  // DATE-OBS value from its first digit (moved on a day for JST before 09:00)
    std::string timeText;  // "hh:mm:ss" from UT / JST / UT-START, or TIME-OBS as found
    double exposureTime = 0.0;
    bool jstSeen = false;
};

ObservationHeader readObservationHeader(const FitsImage& image);

// A magnitude as the result and report lines write it: " 00.00" or " 00.000".
std::string magnitudeText(double magnitude, int digits);

// Date, time, exposure and the check, comparison and variable magnitudes.
std::string resultLine(const ObservationHeader& header, double check, double comparison, double variable,
                       int digits);

// The one-line observation report of the variable star, from the parsed date
// and time (mid-exposure, hours past midnight counted on from the evening's
// date). nullopt when the header gives no usable date or time.
std::optional<std::string> reportLine(const ObservationHeader& header, double check, double comparison,
                                      double variable, int digits, const ComparisonStar& star);

// One comparison star of an ensemble on one frame.
struct EnsembleMember {
    int number = 1;                      // 1 ... 10
    std::optional<StarQuality> quality;  // when the star was measured
    std::string leftOut;                 // why the frame was measured without it; empty when used
    bool used() const { return leftOut.empty(); }
};

struct PhotometryOutcome {
    // Rounded magnitudes of the comparison, variable and check stars.
    std::array<std::optional<double>, 3> magnitudes;
    bool allMeasured = false;
    std::string resultLine;
    std::optional<std::string> reportLine;
    // Beside the magnitudes: each star's flux, error, peak and shape (none
    // for a star not measured), the camera they were reckoned with, and the
    // mid-exposure times and airmass (once every star was measured).
    std::array<std::optional<StarQuality>, 3> quality;
    CameraNoise camera;
    ObservationTimes times;
    // With an ensemble, each comparison star; the comparison's magnitude and
    // quality above are then those of the mean flux of the stars used.
    // Empty with one comparison star.
    std::vector<EnsembleMember> ensemble;
    int ensembleUsed() const;
    // sigma(V - C) and sigma(C - K), when both stars have one.
    std::optional<double> variableMinusComparisonError() const;
    std::optional<double> comparisonMinusCheckError() const;
};

inline constexpr const char* kNoStarMessage = "No Star";
inline constexpr const char* kPhotometryTitle = "Photometry";

// The artificial comparison of the stars used: the mean flux F = sum F_i / N,
// its error sqrt(sum sigma_i^2) / N, and the SNR and magnitude error that
// follow; the highest peak, the mean width and sky scatter. nullopt when no
// star is used.
std::optional<StarQuality> ensembleQuality(const std::vector<EnsembleMember>& members);

// Runs the measurement and everything after it. The caller has taken the
// markers off the picture. Messages, beep, busy pointer and clipboard go
// through `platform`; the magnitude and position fields of `state` change.
PhotometryOutcome runPhotometry(const FitsImage& image, PhotometryState& state, bool beepOn, Platform& platform);

}  // namespace lv
