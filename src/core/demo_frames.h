// A synthetic observing run for trying the application and for tests: frames
// of a field with an eclipsing variable, a comparison and a check star, plus
// one dark and one flat frame.
#pragma once

#include <string>
#include <vector>

namespace lv {

struct DemoStar {
    std::string role;  // "comparison", "variable", "check"
    double x = 0.0;    // pixel position in the first frame (column, row)
    double y = 0.0;
    double magnitude = 0.0;  // true magnitude (the variable's outside eclipse)
};

struct DemoRun {
    int frames = 30;
    int width = 512;
    int height = 512;
    double exposureSeconds = 30.0;
    int cadenceSeconds = 180;
    std::vector<DemoStar> stars;  // comparison, variable, check
    double eclipseDepth = 1.0;    // magnitudes at mid-eclipse

    // The true magnitude of the variable in frame i (0-based).
    double variableMagnitude(int frame) const;
    // Drift of the field in frame i relative to the first frame, in pixels.
    double driftX(int frame) const;
    double driftY(int frame) const;
    // File name of frame i (0-based): "demo_0001.fit" ...
    static std::string frameName(int frame);
};

// The demo spectrum frame, spectrum/spectrum.fit.
inline constexpr int kSpectrumWidth = 600;
inline constexpr int kSpectrumHeight = 200;

// The run that `lumavist-cli demo` writes.
DemoRun demoRun();

// Writes the frames, calibration/dark.fit and flat.fit, spectrum/spectrum.fit
// and README.txt into `folder` (which must exist). False with `error` set when a file cannot be written.
bool writeDemoRun(const std::string& folder, std::string& error);

}  // namespace lv
