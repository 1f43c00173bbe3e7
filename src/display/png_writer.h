// Pictures as PNG files without an image library: 8-bit RGB, the data kept
// in stored (uncompressed) deflate blocks, which every PNG reader accepts.
#pragma once

#include <string>

#include "core/picture.h"

namespace lv {

// The PNG bytes of a picture.
std::string pngBytes(const RgbPicture& picture);
// Writes the picture to `path` (through a temporary file); false with `error`.
bool writePng(const std::string& path, const RgbPicture& picture, std::string& error);

}  // namespace lv
