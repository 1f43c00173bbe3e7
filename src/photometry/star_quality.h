// What a network asks of each measured star beside its magnitude: the flux
// and its uncertainty (the CCD equation), the signal-to-noise ratio, the
// brightest pixel and whether it reached the linearity limit, the star's
// width, and the scatter of its sky.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/fits_image.h"
#include "photometry/measurement.h"
#include "photometry/photometry_state.h"

namespace lv {

// The frame's own values where its header gives them (GAIN or EGAIN,
// RDNOISE or READNOIS, SATURATE; positive numbers only), the settings' otherwise.
CameraNoise cameraNoiseOf(const FitsImage& image, const CameraNoise& settings);

struct StarQuality {
    double flux = 0;            // F = A - S * n_ap, in ADU
    double fluxError = 0;       // sigma_F, in ADU
    double snr = 0;             // F / sigma_F
    double magnitudeError = 0;  // 1.0857362 * sigma_F / F
    long long aperturePixels = 0;
    long long skyPixels = 0;
    double skyPerPixel = 0;     // S
    double skyDeviation = 0;    // standard deviation of the sky pixels
    std::int32_t peak = 0;      // the highest pixel of the aperture
    bool saturated = false;     // peak >= the linearity limit
    std::optional<double> fwhm; // pixels; none when the profile gives no width
    // 20 - 2.5 log10 F: the standard magnitude scale.
    double standardMagnitude() const;
};

// The quality of star slot s (1, 3, 5) from the measurement just made;
// nullopt when the star has no flux above its sky (or was not measured).
std::optional<StarQuality> starQuality(const FitsImage& image, const PhotometryState& state, const Measurement& m,
                                       int starSlot, const CameraNoise& camera);

// The error of a difference of two magnitudes: sqrt(a^2 + b^2).
double differenceError(double a, double b);

// The full width at half maximum of the star near `centre`: a circular
// Gaussian fitted to the logarithm of the pixels above the sky, each pixel
// taken as the integral of the profile over its area. nullopt without a
// profile that falls off.
std::optional<double> starWidth(const FitsImage& image, PixelPosition centre, double sky);

}  // namespace lv
