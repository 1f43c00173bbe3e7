// The light-curve window's model: the axes (automatic or from the axis
// dialog), the photometry error, deletion marks and list texts, and where
// each grid line, label and point of the two graphs goes for a picture of a
// given size. The window only paints what these functions return.
#pragma once

#include <string>
#include <vector>

#include "core/picture.h"
#include "lightcurve/mag_est.h"

namespace lv {

struct AxisRanges {
    double hourStart = 0, hourEnd = 0;
    double ckStart = 0, ckEnd = 0;
    double vcStart = 0, vcEnd = 0;
    double ckStep = 0.5, vcStep = 0.5;  // tenths of a magnitude
};

struct LightCurveAxes {
    AxisRanges ranges;
    bool manual = false;  // the axis dialog's OK was pressed
    AxisRanges autoCopy;  // as computed when the file was read
};

// The axes from the data: time, C-K and V-C ranges over every line read,
// steps 0.5; manual false; the auto copy set.
LightCurveAxes automaticAxes(const LightCurveTable& table);

// Standard deviation of C-K over the kept lines (divisor k); 0 when no line is kept.
double photometryError(const LightCurveTable& table);
// "Photometry error = " and the error as "#0.0000".
std::string photometryErrorText(double error);

// Flips a line's mark between " " (kept) and "x" (deleted); 0-based.
void toggleMark(LightCurveTable& table, int line);
void setDeleted(LightCurveTable& table, int line, bool deleted);
// The list: every numbered line's list text, marks included.
std::vector<std::string> listTexts(const LightCurveTable& table);
// The line whose numbered line starts with a list item's text, or -1.
int lineOfListItem(const LightCurveTable& table, const std::string& item);

// ---- the axis dialog ----------------------------------------------------------

struct AxisFields {
    double hourStart = 0, hourEnd = 0, ckStart = 0, ckEnd = 0, vcStart = 0, vcEnd = 0, ckStep = 0, vcStep = 0;
};
// Opening the dialog: the values shown. The shown starts (and, while the
// axes are automatic, the shown ends) are stored back into the axes.
AxisFields openAxisDialog(LightCurveAxes& axes);
// "OK" with the values typed.
void acceptAxisDialog(LightCurveAxes& axes, const AxisFields& fields);
// "Auto scale".
void autoScale(LightCurveAxes& axes);

// ---- graph geometry -------------------------------------------------------------

enum class Graph { CK, VC };

struct GraphLine {
    int x0, y0, x1, y1;
};
struct GraphText {
    int x, y;
    std::string text;
    Rgb colour;
};
struct GraphPoint {
    int line;  // 0-based table line
    int x, y;
    bool saturated = false;  // a star of its frame reached the linearity limit
};

struct GraphDrawing {
    int width = 0, height = 0;
    std::vector<GraphLine> grid;    // black, pen width 1
    std::vector<GraphText> texts;   // the name in red, the axis numbers in black
    std::vector<GraphPoint> points; // green (saturated: magenta), pen width 3
    std::vector<GraphLine> errorBars; // V-C's +/- sigma from the night's table, blue, under the points
};

inline constexpr Rgb kGraphWhite = rgb(255, 255, 255);
inline constexpr Rgb kGraphBlack = rgb(0, 0, 0);
inline constexpr Rgb kGraphRed = rgb(255, 0, 0);
inline constexpr Rgb kGraphGreen = rgb(0, 255, 0);
inline constexpr Rgb kGraphMagenta = rgb(255, 0, 255);
inline constexpr Rgb kGraphBlue = rgb(0, 0, 255);

// The size of each graph picture in the window and in picture files.
inline constexpr int kGraphWidth = 600;
inline constexpr int kGraphHeight = 220;

// The drawing of one graph on a picture of width x height units.
GraphDrawing drawGraph(const LightCurveTable& table, const LightCurveAxes& axes, Graph graph, int width, int height);

// Where each point was drawn on the V-C graph (-99, -99 when not drawn);
// index = table line.
struct PointPositions {
    std::vector<int> x, y;
};
PointPositions pointPositions(const GraphDrawing& drawing, int lines);

// The first line whose drawn position is within one unit of (x, y) in both
// directions, or -1.
int pointAt(const PointPositions& positions, int x, int y);

// The picture of a drawing: white, the grid, the texts, the points.
RgbPicture renderGraph(const GraphDrawing& drawing);

}  // namespace lv
