// The "Noise filter" commands: remove hot and cool pixels, 3 and 5 point
// averages along the rows, and the shade-off filters over a 5-pixel cross.
#pragma once

#include "core/fits_image.h"
#include "core/platform.h"
#include "core/undo.h"

namespace lv {

enum class NoiseFilter { HotCool, ThreePoint, FivePoint, ShadeAverage, ShadeMedian };

// The confirmation text of a filter ("3 point average, Start", ...).
const char* noiseFilterQuestion(NoiseFilter filter);
inline constexpr const char* kCompletionMessage = "completion";

// The kernel alone, on plane 0. HotCool works in place (a corrected pixel is
// the next one's left neighbour); the others read `source`, the unfiltered
// image (the undo copy), and write the image.
void applyNoiseFilter(NoiseFilter filter, FitsImage& image, const UndoBuffer& source);

// The menu command: asks, takes the undo snapshot, filters, says
// "completion". Neither redraws nor recomputes the statistics. Returns false
// when the question was answered Cancel.
bool runNoiseFilter(NoiseFilter filter, FitsImage& image, UndoBuffer& undo, Platform& platform);

}  // namespace lv
