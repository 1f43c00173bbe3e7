// Measuring the three stars of a frame: peak search, aperture sums, sky
// values and instrumental magnitudes, all on plane 0 in image pixels.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/fits_image.h"
#include "photometry/photometry_state.h"

namespace lv {

// Working storage of one measurement, fresh for each run (index 1 ... 24).
// Sums are kept in 64 bits under "Integer" and in doubles under "Real", so a
// sum never wraps; pixel values are whole numbers, so both give the same.
struct Measurement {
    std::array<double, kAllSlots + 1> sum{};
    std::array<long long, kAllSlots + 1> count{};
    // Sky slots whose area had no sample inside the image.
    std::array<bool, kAllSlots + 1> noSky{};
    // Slots whose aperture (or sky box) holds a blank pixel: not measured.
    std::array<bool, kAllSlots + 1> blank{};
};

// Rounded distance used for circles: Int(sqrt(dx^2 + dy^2) + 0.5).
int roundedDistance(int dx, int dy);

// Looks for the brightest box of side 2 * Int(size / 2) + 1 within the search
// span around the stored position of star slot s and moves the positions as
// the position mode says. Returns false (positions unchanged) when no box has
// a positive sum.
bool peakSearch(const FitsImage& image, PhotometryState& state, int starSlot);

// Calls visit(x, y) for each pixel of the aperture of a slot at its position
// field that lies inside the image (the circle's rounded-distance disc, or
// the square box), in the order the sums take them.
template <class Visit>
void forEachAperturePixel(const FitsImage& image, const PhotometryState& state, int slot, Visit&& visit)
{
    const PixelPosition c = state.fieldPosition(slot);
    if (state.settings.apertureShape == ApertureShape::Circle) {
        const int r = state.settings.apertureSize;
        for (int x = c.x - r; x <= c.x + r; ++x)
            for (int y = c.y - r; y <= c.y + r; ++y)
                if (image.inside(x, y) && roundedDistance(x - c.x, y - c.y) <= r) visit(x, y);
    } else {
        const int h = state.settings.apertureSize / 2;  // Int(size / 2) of a whole size >= 1
        for (int y = std::max(c.y - h, 0); y <= std::min(c.y + h, image.naxis2 - 1); ++y)
            for (int x = std::max(c.x - h, 0); x <= std::min(c.x + h, image.naxis1 - 1); ++x) visit(x, y);
    }
}

// Sum and pixel count of the aperture of a slot at its position field.
void apertureSum(const FitsImage& image, const PhotometryState& state, int slot, Measurement& m);

// The sky samples around star slot s (circle annulus or square rings),
// inside the image only and not blank, in the order collected.
std::vector<std::int32_t> skySamples(const FitsImage& image, const PhotometryState& state, int starSlot);

// The median of the samples: number Int(n / 2 + 0.5) of the sorted list (the
// lower middle one for an even count). nullopt for no samples.
std::optional<std::int32_t> lowerMedian(std::vector<std::int32_t> samples);

// The sky of sky slot k (2, 4, 6) in median mode: median x pixel count of
// star k - 1, stored as the sum of k.
void skyMedian(const FitsImage& image, const PhotometryState& state, int skySlot, Measurement& m);

// 20 - 2.511886432 * log10(flux): the magnitude scale of the measurement.
double magnitudeOfFlux(double flux);

// 20 - 2.511886432 * log10(A - B) for the sums of star slot s and its sky;
// nullopt when A <= B (no star), and for a star or sky box holding a blank pixel.
std::optional<double> instrumentalMagnitude(const Measurement& m, int starSlot);

// Everything of one measurement in the order of a photometry run: peak
// search (when the position mode asks for it), aperture sums, sky values.
Measurement measureStars(const FitsImage& image, PhotometryState& state);

}  // namespace lv
