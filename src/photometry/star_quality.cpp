#include "photometry/star_quality.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/fits_header.h"

namespace lv {

namespace {

// A positive number from the first of these records that has one.
std::optional<double> positiveValue(const std::vector<HeaderCard>& cards, std::initializer_list<const char*> keys)
{
    for (const char* key : keys) {
        std::string keyword(key);
        keyword.resize(8, ' ');
        if (const HeaderCard* c = lastCard(cards, keyword)) {
            const double v = cardValue(*c);
            if (std::isfinite(v) && v > 0) return v;
        }
    }
    return std::nullopt;
}

double deviation(const std::vector<double>& v)
{
    if (v.size() < 2) return 0;
    double mean = 0;
    for (double x : v) mean += x;
    mean /= static_cast<double>(v.size());
    double sq = 0;
    for (double x : v) sq += (x - mean) * (x - mean);
    return std::sqrt(sq / static_cast<double>(v.size() - 1));
}

// Pixels of a disc around (cx, cy) above the sky, for the width fit.
struct Sample {
    double x, y, net;
};
std::vector<Sample> discAboveSky(const FitsImage& image, double cx, double cy, double radius, double sky)
{
    std::vector<Sample> out;
    const int x0 = std::max(0, static_cast<int>(std::floor(cx - radius)));
    const int x1 = std::min(image.naxis1 - 1, static_cast<int>(std::ceil(cx + radius)));
    const int y0 = std::max(0, static_cast<int>(std::floor(cy - radius)));
    const int y1 = std::min(image.naxis2 - 1, static_cast<int>(std::ceil(cy + radius)));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            if (image.isBlank(x, y)) continue;
            const double dx = x - cx, dy = y - cy;
            if (dx * dx + dy * dy > radius * radius) continue;
            out.push_back({static_cast<double>(x), static_cast<double>(y), image.at(x, y) - sky});
        }
    return out;
}

// sigma^2 of a circular Gaussian from ln(net) against r^2 over the pixels
// above a fifth of the peak, weighted by net^2 (the logarithm's noise falls
// as the pixel rises). The pixels integrate the profile over their area,
// which adds 1/12 to sigma^2 along each axis.
std::optional<double> gaussianVariance(const std::vector<Sample>& disc, double cx, double cy)
{
    double peak = 0;
    for (const Sample& s : disc) peak = std::max(peak, s.net);
    if (peak <= 0) return std::nullopt;
    double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    int n = 0;
    for (const Sample& s : disc) {
        if (s.net <= 0.2 * peak) continue;
        const double r2 = (s.x - cx) * (s.x - cx) + (s.y - cy) * (s.y - cy);
        const double w = s.net * s.net;
        const double l = std::log(s.net);
        sw += w;
        sx += w * r2;
        sy += w * l;
        sxx += w * r2 * r2;
        sxy += w * r2 * l;
        ++n;
    }
    const double d = sw * sxx - sx * sx;
    if (n < 5 || d <= 0) return std::nullopt;
    const double slope = (sw * sxy - sx * sy) / d;
    if (!(slope < 0)) return std::nullopt;
    const double variance = -1.0 / (2.0 * slope) - 1.0 / 12.0;
    if (!(variance > 0) || !std::isfinite(variance)) return std::nullopt;
    return variance;
}

}  // namespace

CameraNoise cameraNoiseOf(const FitsImage& image, const CameraNoise& settings)
{
    CameraNoise c = settings;
    const std::vector<HeaderCard> cards = singleImageCards(image);
    if (const auto g = positiveValue(cards, {"GAIN", "EGAIN"})) c.gain = *g;
    if (const auto r = positiveValue(cards, {"RDNOISE", "READNOIS"})) c.readNoise = *r;
    if (const auto l = positiveValue(cards, {"SATURATE"})) c.linearity = *l;
    return c;
}

double StarQuality::standardMagnitude() const { return 20.0 - 2.5 * std::log10(flux); }

double differenceError(double a, double b) { return std::sqrt(a * a + b * b); }

std::optional<double> starWidth(const FitsImage& image, PixelPosition centre, double sky)
{
    // The centre of light, from the pixels above the sky near the position.
    double cx = centre.x, cy = centre.y;
    for (int pass = 0; pass < 3; ++pass) {
        double sw = 0, swx = 0, swy = 0;
        for (const Sample& s : discAboveSky(image, cx, cy, 4.0, sky)) {
            if (s.net <= 0) continue;
            sw += s.net;
            swx += s.net * s.x;
            swy += s.net * s.y;
        }
        if (sw <= 0) return std::nullopt;
        cx = swx / sw;
        cy = swy / sw;
    }
    // A first width from a small disc, then the fit over a disc that holds
    // the profile down to a fifth of its peak.
    auto variance = gaussianVariance(discAboveSky(image, cx, cy, 6.0, sky), cx, cy);
    if (!variance) return std::nullopt;
    const double radius = std::clamp(3.0 * std::sqrt(*variance) + 2.0, 4.0, 30.0);
    variance = gaussianVariance(discAboveSky(image, cx, cy, radius, sky), cx, cy);
    if (!variance) return std::nullopt;
    return 2.0 * std::sqrt(2.0 * std::log(2.0) * *variance);
}

std::optional<StarQuality> starQuality(const FitsImage& image, const PhotometryState& state, const Measurement& m,
                                       int s, const CameraNoise& camera)
{
    const auto at = [](int slot) { return static_cast<std::size_t>(slot); };
    if (m.noSky[at(s + 1)] || m.blank[at(s)] || m.blank[at(s + 1)] || m.count[at(s)] == 0) return std::nullopt;
    StarQuality q;
    q.aperturePixels = m.count[at(s)];
    const bool skyByAperture =
        state.settings.apertureShape == ApertureShape::Square && state.settings.skyMode == SkyMode::Aperture;
    std::vector<double> sky;
    if (skyByAperture) {
        forEachAperturePixel(image, state, s + 1, [&](int x, int y) { sky.push_back(image.at(x, y)); });
        q.skyPixels = m.count[at(s + 1)];
        q.skyPerPixel = m.sum[at(s + 1)] / static_cast<double>(q.skyPixels);
    } else {
        for (std::int32_t v : skySamples(image, state, s)) sky.push_back(v);
        q.skyPixels = static_cast<long long>(sky.size());
        q.skyPerPixel = m.sum[at(s + 1)] / static_cast<double>(q.aperturePixels);  // the median
    }
    q.skyDeviation = deviation(sky);
    q.flux = m.sum[at(s)] - q.skyPerPixel * static_cast<double>(q.aperturePixels);
    if (!(q.flux > 0) || q.skyPixels == 0) return std::nullopt;
    const double n = static_cast<double>(q.aperturePixels);
    const double g = camera.gain;
    const double variance = q.flux / g + n * (1.0 + n / static_cast<double>(q.skyPixels)) *
                                             (std::max(q.skyPerPixel, 0.0) / g + (camera.readNoise / g) * (camera.readNoise / g));
    q.fluxError = std::sqrt(variance);
    q.snr = q.flux / q.fluxError;
    q.magnitudeError = 1.0857362 * q.fluxError / q.flux;
    bool first = true;
    forEachAperturePixel(image, state, s, [&](int x, int y) {
        if (first || image.at(x, y) > q.peak) q.peak = image.at(x, y);
        first = false;
    });
    q.saturated = q.peak >= camera.linearity;
    q.fwhm = starWidth(image, state.fieldPosition(s), q.skyPerPixel);
    return q;
}

}  // namespace lv
