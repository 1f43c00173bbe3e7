// Pictures as PNG files: 8-bit RGB rows (filter 0) compressed with zlib.
#pragma once

#include <string>

#include "core/picture.h"

namespace lv {

// The PNG bytes of a picture (empty when zlib fails, which only a lack of
// memory makes it do).
std::string pngBytes(const RgbPicture& picture);
// Writes the picture to `path` (through a temporary file); false with `error`.
bool writePng(const std::string& path, const RgbPicture& picture, std::string& error);

}  // namespace lv
