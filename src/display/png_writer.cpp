#include "display/png_writer.h"

#include <array>
#include <cstdint>

#include <zlib.h>

#include "core/file_replace.h"

namespace lv {

namespace {

std::uint32_t crc32(const std::string& bytes, std::size_t from)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = from; i < bytes.size(); ++i)
        c = table[(c ^ static_cast<unsigned char>(bytes[i])) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void put32(std::string& out, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xFFu));
}

void chunk(std::string& out, const char* type, const std::string& data)
{
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out += type;
    out += data;
    put32(out, crc32(out, start));
}

}  // namespace

std::string pngBytes(const RgbPicture& picture)
{
    std::string raw;  // filter byte 0, then RGB, per row
    raw.reserve(static_cast<std::size_t>(picture.height) * (1 + 3 * static_cast<std::size_t>(picture.width)));
    for (int y = 0; y < picture.height; ++y) {
        raw.push_back('\0');
        for (int x = 0; x < picture.width; ++x) {
            const Rgb c = picture.at(x, y);
            raw.push_back(static_cast<char>((c >> 16) & 0xFFu));
            raw.push_back(static_cast<char>((c >> 8) & 0xFFu));
            raw.push_back(static_cast<char>(c & 0xFFu));
        }
    }
    // The rows compressed with zlib (the IDAT chunk holds a zlib stream).
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string z(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    z.resize(size);

    std::string out = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32(header, static_cast<std::uint32_t>(picture.width));
    put32(header, static_cast<std::uint32_t>(picture.height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", z);
    chunk(out, "IEND", {});
    return out;
}

bool writePng(const std::string& path, const RgbPicture& picture, std::string& error)
{
    const std::string bytes = pngBytes(picture);
    if (bytes.empty()) {
        error = path + ": the picture could not be compressed; no file was written";
        return false;
    }
    return replaceFileWith(path, bytes, error);
}

}  // namespace lv
