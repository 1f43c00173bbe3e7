// The photometry state that lives for the whole run of the application: the
// six measurement positions, the aperture and sky settings, the magnitude
// fields and the comparison-star data.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace lv {

// The six positions: odd slots are stars, the sky slot of star s is s + 1.
enum StarSlot : int {
    kComparison = 1,
    kComparisonSky = 2,
    kVariable = 3,
    kVariableSky = 4,
    kCheck = 5,
    kCheckSky = 6,
};
inline constexpr int kSlots = 6;
inline constexpr std::array<int, 3> kStarSlots = {kComparison, kVariable, kCheck};

// An ensemble of up to ten comparison stars: the first is the comparison
// slot, the others (2 ... 10) follow the six slots, each star with its sky
// after it.
inline constexpr int kMaxComparisons = 10;
inline constexpr int kAllSlots = kSlots + 2 * (kMaxComparisons - 1);
constexpr int comparisonSlot(int number) { return number == 1 ? kComparison : kSlots + 2 * number - 3; }

struct PixelPosition {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPosition&, const PixelPosition&) = default;
};

enum class ApertureShape : int { Circle = 0, Square = 1 };
enum class SkyMode : int { Aperture = 0, Median = 1 };
enum class PositionMode : int { Fixed = 0, PeakCast = 1, PeakCastAndMove = 2 };
enum class PixelArithmetic : int { Integer = 0, Real = 1 };

struct PhotometrySettings {
    ApertureShape apertureShape = ApertureShape::Circle;
    int apertureSize = 3;          // radius of a circle, side of a square
    SkyMode skyMode = SkyMode::Median;
    double skyInner = 10;          // radius (circle) or full width (square)
    double skyOuter = 20;
    int searchSpan = 15;           // half-width of the peak-search window
    PositionMode positionMode = PositionMode::PeakCastAndMove;
    PixelArithmetic pixelArithmetic = PixelArithmetic::Integer;
    int digits = 3;                // decimals of the magnitudes, 2 or 3
    int timeZoneHours = 0;         // 0 or 9
};

// The camera: gain in electrons per ADU, read noise in electrons, and the
// value from which a pixel no longer grows with the light (ADU).
struct CameraNoise {
    double gain = 1.0;
    double readNoise = 0.0;
    double linearity = 60000.0;
    friend bool operator==(const CameraNoise&, const CameraNoise&) = default;
};

// The target's position, J2000 (ICRS), in degrees.
struct SkyPosition {
    double raDegrees = 0;
    double decDegrees = 0;
    friend bool operator==(const SkyPosition&, const SkyPosition&) = default;
};

// The observing site: geodetic latitude and longitude (east positive) in
// degrees, height above the WGS84 ellipsoid in metres.
struct ObservingSite {
    double latitudeDegrees = 0;
    double longitudeDegrees = 0;
    double heightMetres = 0;
    friend bool operator==(const ObservingSite&, const ObservingSite&) = default;
};

// What the frame's header gives of these takes their place.
struct TargetAndSite {
    CameraNoise camera;
    std::optional<SkyPosition> target;
    std::optional<ObservingSite> site;
};

// Filters of the report line; -1 means no report line.
inline constexpr std::array<const char*, 4> kFilterTexts = {"B", "V", "Rc", "Ic"};

struct ComparisonStar {
    std::string starName;
    double comparisonMagnitude = 0.0;
    int filterIndex = -1;
    std::string observerCode = "Obs code";
};

// What the comparison-star window hands to the light-curve window's report
// texts, kept here until that window picks them up.
struct ReportTexts {
    std::string starName;
    std::string comparisonMagnitude;  // as typed
    std::string colour;               // "B", "V", "Rc", "Ic"
    std::string observerCode;
    bool set = false;
};

struct PhotometryState {
    PhotometrySettings settings;
    // The stored table, read by the peak search (index 1 ... 6).
    // Index 7 ... 24 holds the ensemble's comparison stars 2 ... 10.
    std::array<PixelPosition, kAllSlots + 1> slotPositions{};
    // The twelve position fields of the main window as text (index 1 ... 6,
    // then the ensemble's, which the PositionSet window lists); the
    // measurement reads the numbers they show.
    std::array<std::string, kAllSlots + 1> fieldX{};
    std::array<std::string, kAllSlots + 1> fieldY{};
    // Comparison stars in use, 1 ... 10 (1: the comparison star alone).
    int comparisonCount = 1;
    // The magnitude fields of the comparison, variable and check stars.
    std::string comparisonMagnitude;
    std::string variableMagnitude;
    std::string checkMagnitude;
    // Sky positions the user chose (a sky button or typed), index 1 ... 6.
    std::array<bool, kAllSlots + 1> skyChosen{};
    bool markersShown = false;
    bool searchSpansShown = false;
    PixelPosition clickPosition;
    ComparisonStar comparison;
    ReportTexts reportTexts;
    TargetAndSite targetSite;

    PhotometryState();
    // The position the measurement uses for a slot: its two fields, rounded.
    PixelPosition fieldPosition(int slot) const;
    void setFieldPosition(int slot, PixelPosition p);
    std::string& magnitudeField(int starSlot);
    const std::string& magnitudeField(int starSlot) const;
    bool ensemble() const { return comparisonCount > 1; }
    // The star slots measured: comparison, variable, check, then the
    // ensemble's other comparison stars.
    std::vector<int> starSlotsInUse() const;
};

}  // namespace lv
