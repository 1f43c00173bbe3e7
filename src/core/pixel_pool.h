// Pixel storage kept between reads. A frame's pixels are large (up to
// 113 MB); the reader takes its storage from a pool and gives the replaced
// image's storage back, so reading a folder of frames of one size neither
// allocates nor clears memory. The pool belongs to whoever owns the image
// (the session, a folder job), never to the reader.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/pixel_storage.h"

namespace lv {

class PixelPool {
public:
    // Storage to fill; its values are whatever it held before.
    PixelVector take()
    {
        PixelVector out = std::move(spare_);
        spare_ = {};
        return out;
    }
    // Keeps the larger of the returned and the kept storage.
    void give(PixelVector&& storage)
    {
        if (storage.capacity() >= spare_.capacity()) spare_ = std::move(storage);
    }
    std::size_t capacity() const { return spare_.capacity(); }

private:
    PixelVector spare_;
};

}  // namespace lv
