// File names offered when the picture of an image is saved as BMP and JPEG.
#pragma once

#include <string>

namespace lv {

// The BMP name offered for an image file: the file's own name without its
// folder and with ".bmp" for its extension ("/obs/m31.fts" -> "m31.bmp",
// "m31.red.fts" -> "m31.red.bmp"). A name without any "." is offered as it
// stands, folder included.
std::string defaultPictureName(const std::string& fileName);

// The JPEG written beside a BMP: everything before the last "." plus ".jpg".
// Callers pass only paths that contain a ".".
std::string jpegNameFor(const std::string& bmpPath);

}  // namespace lv
