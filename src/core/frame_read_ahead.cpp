#include "core/frame_read_ahead.h"

#include <filesystem>
#include <utility>

#include "core/fits_reader.h"
#include "core/pixel_pool.h"

namespace lv {

std::string fileKey(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path key = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : key.string();
}

FrameRead readFrameAhead(const std::string& path, const AppState& state, PixelSpares& spares)
{
    FrameRead r;
    PixelPool local;
    if (auto storage = spares.take()) local.give(std::move(*storage));
    AppState own = state;
    r.status = readFitsFile(r.image, own, path, ReadForm::Command, r.said, &local);
    if (local.capacity() > 0) spares.give(local.take());
    r.statistics = std::move(own.statistics);
    return r;
}

int takeFrameRead(FrameRead& read, FitsImage& image, AppState& state, PixelSpares& spares, Platform& platform)
{
    if (read.status != 0) {
        // A refused read leaves the image and takes its line again.
        read.said.showOn(platform);
        state.statistics = statisticsLine(image);
        return read.status;
    }
    std::swap(image, read.image);
    state.statistics = std::move(read.statistics);
    if (read.image.pixels.capacity() > 0) spares.give(std::move(read.image.pixels));
    read.said.showOn(platform);
    return 0;
}

}  // namespace lv
