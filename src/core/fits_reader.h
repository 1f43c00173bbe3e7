// Reading FITS image files into the current image.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/app_state.h"
#include "core/fits_decode.h"
#include "core/fits_header.h"
#include "core/fits_image.h"
#include "core/pixel_pool.h"
#include "core/platform.h"

namespace lv {

// The two readers share the header rules and the per-value arithmetic.
enum class ReadForm {
    // Drop, command line, folder jobs: three planes only for BITPIX -32,
    // messages start with the file name.
    Command,
    // The file dialog's open mode: three planes for every BITPIX, the header
    // messages carry no file name.
    Dialog,
};

// Reads the FITS file at `path` into `image` with the reading options of
// `state`, and refreshes the statistics line of `state`.
//
// Returns 0 when the file was read: `image` then holds its header, pixels and
// extremes and fileName = path. Returns -1 when the file is rejected: the
// reason has been shown through `platform` and `image` is exactly as it was.
//
// With a pool, the new pixels are taken from it and the replaced image's
// pixels go back into it; without one, storage is allocated for the read.
int readFitsFile(FitsImage& image, AppState& state, const std::string& path, ReadForm form,
                 Platform& platform, PixelPool* pool = nullptr);

// The check that drop and the command line make before reading: the path must
// end in fit, fts, FIT, FTS, Fit or Fts.
bool hasFitsFileNameEnding(std::string_view path);
// Compressed frames, which drop also takes: names ending in .fz or .gz
// (either case).
bool hasCompressedFrameEnding(std::string_view path);

// What a read that succeeded says of a floating-point frame whose values all
// round to 0 or 1.
bool isUnitFloat(const FitsImage& image);
std::string unitFloatMessage(const std::string& path);

inline constexpr std::string_view kNotFitsMessage = "This file is not FITS file";
inline constexpr std::string_view kFileOpenErrorMessage = "File Open Error";

}  // namespace lv
