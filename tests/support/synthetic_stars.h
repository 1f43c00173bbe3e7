// Frames of Gaussian stars on a flat sky, with or without photon and read
// noise, for the measurement tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/fits_image.h"

namespace lv::test {

struct Star {
    double x, y, flux, sigma;
};

// Share of a Gaussian of this sigma centred at c that falls in pixel i.
inline double share(int i, double c, double sigma)
{
    const double s = sigma * std::sqrt(2.0);
    return 0.5 * (std::erf((i + 0.5 - c) / s) - std::erf((i - 0.5 - c) / s));
}

// The expected signal of each pixel (ADU) of a frame of stars on a sky.
inline std::vector<double> signalOf(int w, int h, double sky, const std::vector<Star>& stars)
{
    std::vector<double> v(static_cast<std::size_t>(w * h), sky);
    for (const Star& s : stars)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                v[static_cast<std::size_t>(y * w + x)] += s.flux * share(x, s.x, s.sigma) * share(y, s.y, s.sigma);
    return v;
}

inline void settleExtremes(FitsImage& img)
{
    img.minValue = *std::min_element(img.pixels.begin(), img.pixels.end());
    img.maxValue = *std::max_element(img.pixels.begin(), img.pixels.end());
}

// One exposure: Poisson in electrons at the gain, Gaussian read noise, whole ADU.
inline FitsImage expose(const std::vector<double>& signal, int w, int h, double gain, double readNoise,
                        std::mt19937& gen)
{
    FitsImage img;
    img.allocate(w, h, 1);
    std::normal_distribution<double> read(0, readNoise);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        std::poisson_distribution<long long> electrons(signal[i] * gain);
        img.pixels[i] = static_cast<std::int32_t>(std::lround((static_cast<double>(electrons(gen)) + read(gen)) / gain));
    }
    settleExtremes(img);
    return img;
}

// The signal itself, rounded to whole ADU: a frame without noise.
inline FitsImage noiseless(const std::vector<double>& signal, int w, int h)
{
    FitsImage img;
    img.allocate(w, h, 1);
    for (std::size_t i = 0; i < signal.size(); ++i) img.pixels[i] = static_cast<std::int32_t>(std::lround(signal[i]));
    settleExtremes(img);
    return img;
}

}  // namespace lv::test
