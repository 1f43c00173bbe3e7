// The horizontal graph: 51 columns of one row around a clicked pixel as
// points, stepped up and down, zoomed and shifted.
#pragma once

#include <vector>

#include "core/fits_image.h"

namespace lv {

struct HorizontalGraph {
    int centre = 0;  // clicked column
    int row = 0;
    double zoom = 1.0;
    double level = 0.0;
};

// The first column shown: centre - 25, held so that 51 columns fit.
int firstGraphColumn(int centre, const FitsImage& image);

struct GraphDot {
    int i;  // 0 ... 50
    int y;  // Int((level + Y) * zoom), Y = 300 - (h + 30)
};
// The points; with maxValue equal to minValue every point is at the minimum's height.
std::vector<GraphDot> graphDots(const HorizontalGraph& graph, const FitsImage& image);

// The buttons.
void graphLineUp(HorizontalGraph& g, const FitsImage& image);  // "Line" "U": row + 1
void graphLineDown(HorizontalGraph& g);                         // "Line" "D": row - 1
inline void graphZoomUp(HorizontalGraph& g) { g.zoom *= 1.05; }
inline void graphZoomDown(HorizontalGraph& g) { g.zoom /= 1.05; }
inline void graphLevelUp(HorizontalGraph& g) { g.level -= 10; }
inline void graphLevelDown(HorizontalGraph& g) { g.level += 10; }

}  // namespace lv
