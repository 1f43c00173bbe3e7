// Setting the measurement positions and aperture settings, and the markers
// that show them on the picture.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/picture.h"
#include "display/picture_geometry.h"
#include "photometry/photometry_state.h"

namespace lv {

// ---- texts of the main window -------------------------------------------------

// "  Radii 3" for a circle; " 3 x  3" for a square (the size in the
// leading-space number form).
std::string apertureFieldText(const PhotometrySettings& settings);
// " Fix position", " Peak cast" or " Peak & Move".
std::string positionModeText(PositionMode mode);

// ---- the PositionSet window -----------------------------------------------------

// A star button: the star at the click, its sky 20 pixels to the right, in
// the fields and the stored table.
void setStarPosition(PhotometryState& state, int starSlot, PixelPosition click);
// A sky button: the sky slot at the click.
void setSkyPosition(PhotometryState& state, int skySlot, PixelPosition click);

// A position typed into a slot's fields and confirmed (Enter or leaving the
// field): it becomes the slot's stored position, read back in the fields'
// form. A typed star takes its sky 20 pixels to the right, as a star button
// does, unless a sky position was chosen for it (a sky button or typed).
void typePosition(PhotometryState& state, int slot);

// ---- the ensemble of comparison stars ------------------------------------------

// Comparison star `number` at the click, its sky 20 pixels to the right. A
// number one past the last adds a star (up to 10); false (nothing changes)
// for a number outside 2 ... comparisonCount + 1.
bool setEnsembleStar(PhotometryState& state, int number, PixelPosition click);
// Takes comparison star `number` (2 ... comparisonCount) out of the
// ensemble; the later ones move up a number. False when there is none.
bool removeEnsembleStar(PhotometryState& state, int number);
// "X Y X Y ...": the positions of comparison stars 2 ... comparisonCount as
// the settings file keeps them; empty with one comparison star.
std::string ensemblePositionsText(const PhotometryState& state);
// The positions of that text back in the state, whole pairs only; a text
// with anything but whole numbers within twice the largest axis gives none.
void takeEnsemblePositions(PhotometryState& state, const std::string& text);

// ---- the "Sky area set" window --------------------------------------------------

// "Size Set (Aperture 3 radii)" or "Size Set (Aperture 3x 3)".
std::string skyAreaCaption(const PhotometrySettings& settings);
inline constexpr const char* kSkyAreaTooSmall = "the Sky Area is too small. Please change";
inline constexpr const char* kApertureSizeError = "Aperture size error";
inline constexpr const char* kApertureTooLarge = "Aperture > Sky , error";
// True when the stored size is not below the stored inner value.
bool skyAreaTooSmall(const PhotometrySettings& settings);

enum class SkyAreaCheck { Stored, SizeError, ApertureTooLarge };
// OK of the window: stores size, inside and outside when size >= 1 and
// size < inside; otherwise nothing changes.
SkyAreaCheck applySkyArea(PhotometrySettings& settings, int size, double inside, double outside);
// "Standard": inside and outside for a shape and size.
std::pair<double, double> standardSkyArea(ApertureShape shape, int size);

// ---- the comparison-star window -------------------------------------------------

// OK of the comparison-star window. `option` is 0 B, 1 V, 2 R, 3 I, -1
// "Don't use this Function".
void acceptComparisonStar(PhotometryState& state, const std::string& starName, const std::string& magnitudeText,
                          int option, const std::string& observerCode);

// ---- markers ----------------------------------------------------------------

// A picture point of a marker and its colour.
struct MarkerPoint {
    int x = 0;
    int y = 0;
    Rgb colour = 0;
};
inline constexpr Rgb kMarkerWhite = rgb(255, 255, 255);

// The points of the position, aperture and sky-area markers, inside the
// picture. With erase, the points to repaint from the image (for circles the
// whole square around the star).
std::vector<MarkerPoint> markerPoints(const FitsImage& image, const PhotometryState& state, int displayScale,
                                      bool erase);
// The squares of the search spans around the three stars (median sky mode).
std::vector<MarkerPoint> searchSpanPoints(const FitsImage& image, const PhotometryState& state, int displayScale,
                                          bool erase);

}  // namespace lv
