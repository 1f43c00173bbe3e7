// Where image pixels and picture points meet: the picture's size at a
// display scale, the pixel a picture point shows, and the conversions the
// mouse and the markers use.
#pragma once

#include <algorithm>
#include <cmath>

namespace lv {

// The display scale as drawn: 2 for "Image 1/2", otherwise 1.
inline int displayScaleOf(int displayScale) { return displayScale == 2 ? 2 : 1; }

// Size of the picture at a display scale.
inline int pictureExtent(int imageExtent, int scale) { return (imageExtent + scale - 1) / scale; }

// The image column (or row) a picture point shows: at half size the last
// pixel of its 2 x 2 block, the one with the larger index, held inside the
// image where the block runs over the edge.
inline int shownPixel(int picturePoint, int scale, int imageExtent)
{
    return std::min(picturePoint * scale + scale - 1, imageExtent - 1);
}

// Image position under a picture point: Int(X * scale / 15 + 0.5) of the
// position in twips, i.e. the point times the display scale.
inline int imageCoordinate(int picturePoint, int displayScale) { return picturePoint * displayScale; }

// Picture coordinate of an image coordinate or length: Int(v / scale + 0.5).
inline int pictureCoordinate(double v, int displayScale)
{
    return static_cast<int>(std::floor(v / displayScale + 0.5));
}

}  // namespace lv
