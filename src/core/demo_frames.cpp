#include "core/demo_frames.h"

#include <filesystem>

#include <cmath>
#include <cstdint>
#include <random>

#include "core/conventions.h"
#include "core/file_replace.h"
#include "core/fits_header.h"
#include "core/fits_image.h"
#include "core/fits_writer.h"

namespace lv {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kZeroPoint = 25.0;  // magnitude of one count in one exposure
constexpr double kPsfSigma = 1.5;    // pixels
constexpr double kSky = 1000.0;      // counts per pixel
constexpr double kBias = 300.0;
constexpr double kDarkCurrent = 20.0;

// Gaussian noise from the exactly specified mt19937, so that every platform
// writes the same frames.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : gen_(seed) {}
    double gaussian()
    {
        if (spare_) {
            spare_ = false;
            return next_;
        }
        double u1 = 0.0;
        do {
            u1 = uniform();
        } while (u1 <= 0.0);
        const double u2 = uniform();
        const double r = std::sqrt(-2.0 * std::log(u1));
        next_ = r * std::sin(2.0 * kPi * u2);
        spare_ = true;
        return r * std::cos(2.0 * kPi * u2);
    }
    double uniform() { return static_cast<double>(gen_()) / 4294967296.0; }

private:
    std::mt19937 gen_;
    bool spare_ = false;
    double next_ = 0.0;
};

// Fraction of a unit-flux Gaussian star centred at c that falls in pixel i.
double pixelShare(int i, double c)
{
    const double s = kPsfSigma * std::sqrt(2.0);
    return 0.5 * (std::erf((i + 0.5 - c) / s) - std::erf((i - 0.5 - c) / s));
}

struct FieldStar {
    double x, y, magnitude;
};

HeaderCard card(const std::string& keyword, const std::string& value) { return valueCard(keyword, value); }

HeaderCard comment(const std::string& text) { return commentCard(text); }

std::string twoDigits(int v) { return formatPattern(v, "00"); }

FitsImage frameSkeleton(const DemoRun& run, const std::vector<HeaderCard>& extra)
{
    FitsImage img;
    img.cards = {card("SIMPLE", "T"), card("BITPIX", "16"), card("NAXIS", "2"),
                 card("NAXIS1", plainNumberText(run.width)), card("NAXIS2", plainNumberText(run.height)),
                 card("BZERO", "32768"), card("BSCALE", "1")};
    img.cards.insert(img.cards.end(), extra.begin(), extra.end());
    img.cards.push_back(endCard());
    img.allocate(run.width, run.height, 1);
    img.naxis3 = -1;
    img.bitpix = 16;
    return img;
}

double vignetting(const DemoRun& run, int x, int y)
{
    const double dx = (x - run.width / 2.0) / (run.width / 2.0);
    const double dy = (y - run.height / 2.0) / (run.height / 2.0);
    return 1.0 - 0.04 * (dx * dx + dy * dy) / 2.0;
}

// Fixed hot pixels of the camera, present in the dark and in every frame.
bool isHotPixel(int x, int y) { return (x * 7 + y * 13) % 4099 == 0; }

double darkLevel(int x, int y) { return kBias + kDarkCurrent + (isHotPixel(x, y) ? 4000.0 : 0.0); }

std::int32_t toCounts(double v)
{
    const double c = std::clamp(v, 0.0, 65535.0);
    return toInt32Saturated(c);
}

}  // namespace

double DemoRun::variableMagnitude(int frame) const
{
    const double mid = (frames - 1) / 2;  // a whole frame: the deepest one
    const double halfWidth = frames / 5.0;  // frames
    const double t = (frame - mid) / halfWidth;
    return stars[1].magnitude + eclipseDepth * std::exp(-t * t);
}

double DemoRun::driftX(int frame) const { return 0.1 * frame; }
double DemoRun::driftY(int frame) const { return -0.06 * frame; }

std::string DemoRun::frameName(int frame) { return "demo_" + formatPattern(frame + 1, "0000") + ".fit"; }

DemoRun demoRun()
{
    DemoRun run;
    run.stars = {{"comparison", 200.0, 290.0, 10.5}, {"variable", 290.0, 230.0, 11.0}, {"check", 320.0, 330.0, 11.2}};
    return run;
}

bool writeDemoRun(const std::string& folder, std::string& error)
{
    const DemoRun run = demoRun();
    Noise noise(20180215u);

    std::vector<FieldStar> field;
    for (const DemoStar& s : run.stars) field.push_back({s.x, s.y, s.magnitude});
    for (int i = 0; i < 40; ++i) {
        const double x = 20 + noise.uniform() * (run.width - 40);
        const double y = 20 + noise.uniform() * (run.height - 40);
        bool clear = true;  // keep field stars out of the three stars' sky annuli
        for (const DemoStar& s : run.stars) clear = clear && std::hypot(x - s.x, y - s.y) > 40.0;
        if (clear) field.push_back({x, y, 11.0 + noise.uniform() * 4.0});
    }

    for (int f = 0; f < run.frames; ++f) {
        const int seconds = 12 * 3600 + 30 * 60 + 45 + f * run.cadenceSeconds;
        const std::string time = twoDigits(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) + ":" + twoDigits(seconds % 60);
        FitsImage img = frameSkeleton(run, {card("DATE-OBS", "'2018-02-15'"), card("UT", "'" + time + "'"),
                                            card("EXPTIME", formatPattern(run.exposureSeconds, "0.0")),
                                            card("OBJECT", "'DEMO VAR'"),
                                            comment("Synthetic frame written by lumavist-cli demo")});
        std::vector<double> signal(static_cast<std::size_t>(run.width) * run.height, kSky);
        for (std::size_t s = 0; s < field.size(); ++s) {
            const double mag = s == 1 ? run.variableMagnitude(f) : field[s].magnitude;
            const double flux = std::pow(10.0, 0.4 * (kZeroPoint - mag));
            const double cx = field[s].x + run.driftX(f);
            const double cy = field[s].y + run.driftY(f);
            const int x0 = std::max(0, static_cast<int>(cx) - 8), x1 = std::min(run.width - 1, static_cast<int>(cx) + 8);
            const int y0 = std::max(0, static_cast<int>(cy) - 8), y1 = std::min(run.height - 1, static_cast<int>(cy) + 8);
            for (int y = y0; y <= y1; ++y) {
                const double sy = pixelShare(y, cy);
                for (int x = x0; x <= x1; ++x) signal[static_cast<std::size_t>(y) * run.width + x] += flux * sy * pixelShare(x, cx);
            }
        }
        for (int y = 0; y < run.height; ++y) {
            for (int x = 0; x < run.width; ++x) {
                const double s = signal[static_cast<std::size_t>(y) * run.width + x] * vignetting(run, x, y);
                img.at(x, y) = toCounts(s + darkLevel(x, y) + std::sqrt(s) * noise.gaussian() + 5.0 * noise.gaussian());
            }
        }
        if (!writeFitsFile(img, joinPath(folder, DemoRun::frameName(f)), 16, error)) return false;
    }

    FitsImage dark = frameSkeleton(run, {card("DATE-OBS", "'2018-02-15'"), card("UT", "'14:10:00'"),
                                         card("EXPTIME", formatPattern(run.exposureSeconds, "0.0")),
                                         card("IMAGETYP", "'DARK'")});
    for (int y = 0; y < run.height; ++y)
        for (int x = 0; x < run.width; ++x) dark.at(x, y) = toCounts(darkLevel(x, y) + 5.0 * noise.gaussian());
    // Kept apart from the frames, so that a folder job over the frames
    // does not take the calibration frames in too.
    const std::string calibration = joinPath(folder, "calibration");
    std::error_code ec;
    std::filesystem::create_directories(calibration, ec);
    if (ec) {
        error = calibration + ": the folder cannot be created (" + ec.message() + ")";
        return false;
    }
    if (!writeFitsFile(dark, joinPath(calibration, "dark.fit"), 16, error)) return false;

    FitsImage flat = frameSkeleton(run, {card("DATE-OBS", "'2018-02-15'"), card("UT", "'09:50:00'"),
                                         card("EXPTIME", "1.0"), card("IMAGETYP", "'FLAT'")});
    for (int y = 0; y < run.height; ++y)
        for (int x = 0; x < run.width; ++x) {
            const double s = 20000.0 * vignetting(run, x, y);
            flat.at(x, y) = toCounts(s + std::sqrt(s) * noise.gaussian());
        }
    if (!writeFitsFile(flat, joinPath(calibration, "flat.fit"), 16, error)) return false;

    // A spectrum: a bright band along rows 92 ... 108 whose continuum rises
    // from left to right, crossed by absorption lines, on a faint sky.
    const std::string spectrumFolder = joinPath(folder, "spectrum");
    std::filesystem::create_directories(spectrumFolder, ec);
    if (ec) {
        error = spectrumFolder + ": the folder cannot be created (" + ec.message() + ")";
        return false;
    }
    {
        DemoRun shape = run;
        shape.width = kSpectrumWidth;
        shape.height = kSpectrumHeight;
        FitsImage spectrum = frameSkeleton(shape, {card("DATE-OBS", "'2018-02-15'"), card("UT", "'13:00:00'"),
                                                   card("EXPTIME", "120.0"), card("OBJECT", "'DEMO SPECTRUM'")});
        const double lines[][3] = {{96, 0.55, 2.5}, {181, 0.35, 1.8}, {262, 0.7, 3.5}, {388, 0.45, 2.2}, {470, 0.6, 3.0}};
        for (int y = 0; y < shape.height; ++y)
            for (int x = 0; x < shape.width; ++x) {
                const double across = (y - 100.0) / 5.0;
                double band = 24000.0 * (0.55 + 0.7 * x / shape.width) * std::exp(-across * across / 2.0);
                for (const auto& l : lines) {
                    const double d = (x - l[0]) / l[2];
                    band *= 1.0 - l[1] * std::exp(-d * d / 2.0);
                }
                const double sky = 400.0;
                spectrum.at(x, y) = toCounts(sky + band + std::sqrt(sky + band) * noise.gaussian());
            }
        if (!writeFitsFile(spectrum, joinPath(spectrumFolder, "spectrum.fit"), 16, error)) return false;
    }

    std::string readme;
    auto line = [&](const std::string& t) { readme += t + std::string(kCrLf); };
    line("Lumavist demo observing run");
    line("");
    line(plainNumberText(run.frames) + " frames demo_0001.fit ... demo_" + formatPattern(run.frames, "0000") + ".fit, " +
         plainNumberText(run.width) + " x " + plainNumberText(run.height) + ", 16-bit (BZERO 32768), exposure " +
         plainNumberText(run.exposureSeconds) + " s every " + plainNumberText(run.cadenceSeconds) + " s from 2018-02-15 12:30:45 UT.");
    line("calibration/dark.fit: a dark frame of the same exposure. calibration/flat.fit: a flat frame.");
    line("spectrum/spectrum.fit: a spectrum, " + plainNumberText(kSpectrumWidth) + " x " + plainNumberText(kSpectrumHeight) +
         ", its band along rows 92 ... 108 (brightest at row 100), the continuum rising to the right,");
    line("  absorption lines at columns 96, 181, 262, 388 and 470.");
    line("");
    line("Stars (column x, row y in the first frame; row 0 is the first row of the file):");
    for (const DemoStar& s : run.stars) {
        line("  " + s.role + std::string(12 - s.role.size(), ' ') + "x " + formatPattern(s.x, "000") + "  y " +
             formatPattern(s.y, "000") + "  magnitude " + formatPattern(s.magnitude, "00.000") +
             (s.role == "variable" ? " outside eclipse" : ""));
    }
    line("");
    line("The variable fades by " + formatPattern(run.eclipseDepth, "0.0") +
         " magnitude at mid-eclipse (frame " + plainNumberText((run.frames - 1) / 2 + 1) + "). True magnitude per frame:");
    for (int f = 0; f < run.frames; ++f)
        line("  " + DemoRun::frameName(f) + "  " + formatPattern(run.variableMagnitude(f), "00.000"));
    line("");
    line("The field drifts by " + formatPattern(run.driftX(1), "0.00") + " pixel in x and " +
         formatPattern(run.driftY(1), "0.00") + " pixel in y per frame.");
    return replaceFileWith(joinPath(folder, "README.txt"), readme, error);
}

}  // namespace lv
