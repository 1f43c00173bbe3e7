// A frame of a folder job read on the thread that works ahead (see
// read_ahead.h), and taken by the job in its turn as if it had read the
// frame itself then.
#pragma once

#include <string>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/pixel_storage.h"
#include "core/platform.h"
#include "core/read_ahead.h"

namespace lv {

using PixelSpares = SharedSpares<PixelVector>;

struct FrameRead {
    int status = -1;  // readFitsFile's
    FitsImage image;
    std::string statistics;
    DeferredMessages said;
};

// The file a path leads to, links followed, as a key for telling whether two
// entries are one file (the path itself when it cannot be resolved).
std::string fileKey(const std::string& path);

// Reads `path` as a folder job reads its frames (readFitsFile, ReadForm::Command),
// with the reading options of `state`, into storage from `spares`.
FrameRead readFrameAhead(const std::string& path, const AppState& state, PixelSpares& spares);

// What readFitsFile(image, state, path, ...) would have left and shown had
// the job read the frame now: the frame becomes the image (the image's
// storage goes to `spares`) or, for a frame refused, the image stays and its
// statistics line is taken again; then the read's messages are shown.
// Returns the read's status.
int takeFrameRead(FrameRead& read, FitsImage& image, AppState& state, PixelSpares& spares, Platform& platform);

}  // namespace lv
