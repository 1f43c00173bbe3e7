#include "display/picture_names.h"

namespace lv {

std::string defaultPictureName(const std::string& fileName)
{
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return fileName;
    // The cut comes first, so a "." inside a folder name cuts there and the
    // offered name is that folder's last part; files are named as before.
    std::string stem = fileName.substr(0, dot);
    const std::size_t separator = stem.find_last_of("\\/");
    if (separator != std::string::npos) stem.erase(0, separator + 1);
    return stem + ".bmp";
}

std::string jpegNameFor(const std::string& bmpPath)
{
    const std::size_t dot = bmpPath.rfind('.');
    return (dot == std::string::npos ? bmpPath : bmpPath.substr(0, dot)) + ".jpg";
}

}  // namespace lv
