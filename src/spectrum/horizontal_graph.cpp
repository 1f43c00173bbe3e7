#include "spectrum/horizontal_graph.h"

#include <algorithm>
#include <cmath>

namespace lv {

int firstGraphColumn(int centre, const FitsImage& image)
{
    int x0 = centre - 25;
    if (x0 < 0) x0 = 0;
    if (x0 + 50 > image.naxis1 - 1) x0 = image.naxis1 - 51;
    return x0;
}

std::vector<GraphDot> graphDots(const HorizontalGraph& g, const FitsImage& image)
{
    std::vector<GraphDot> out;
    if (!image.loaded()) return out;
    const int x0 = firstGraphColumn(g.centre, image);
    const double spread = static_cast<double>(image.maxValue) - image.minValue;
    for (int i = 0; i <= 50; ++i) {
        const double p = image.value(x0 + i, g.row);
        const double h = spread == 0 ? 0.0 : std::floor((p - image.minValue) / spread * 256);
        const double y = 300 - (h + 30);
        out.push_back({i, static_cast<int>(std::floor((g.level + y) * g.zoom))});
    }
    return out;
}

void graphLineUp(HorizontalGraph& g, const FitsImage& image) { g.row = std::min(g.row + 1, std::max(image.naxis2 - 1, 0)); }
void graphLineDown(HorizontalGraph& g) { g.row = std::max(g.row - 1, 0); }

}  // namespace lv
