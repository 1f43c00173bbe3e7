// Folder jobs that make or change whole files: the running composite of 3,
// 5 or 7 consecutive frames, and the rewrite of the BZERO and BSCALE cards.
#pragma once

#include <optional>
#include <string>

#include "core/app_state.h"
#include "core/fits_image.h"
#include "core/job_progress.h"
#include "core/pixel_pool.h"
#include "core/platform.h"
#include "core/file_queue.h"

namespace lv {

struct CompositeSettings {
    int pictures = 3;    // 3, 5 or 7
    std::string folder;  // where the names are read and the composites written; empty: the current folder
};

struct CompositeResult {
    int written = 0;
    int skipped = 0;      // groups of frames of different sizes
    bool failed = false;  // "File read error", or a composite that could not be written
    bool stopped = false;
};

inline constexpr const char* kFileReadError = "File read error";

// For every slot with `pictures / 2` neighbours on each side, the mean of
// the group, rounded halves to even, written as "c3_" / "c5_" / "c7_" + the
// centre's name with the centre frame's header. The accumulator is sized to
// the frames; a group whose frames differ in size is passed over with a
// message. The current image is left as the last composite. At the end a
// message says how many files were written.
CompositeResult runComposite(FitsImage& image, AppState& state, PixelPool* pool, FileQueue& queue,
                             const CompositeSettings& settings, JobProgress& progress, Platform& platform);

// A value field of the rewrite: the text right-justified in 21 characters.
// nullopt when the text is longer than 21 characters or is not a number.
std::optional<std::string> headerValueField(const std::string& text);

struct RewriteResult {
    int rewritten = 0;  // files whose cards were replaced
    int skipped = 0;    // entries that are not FITS files that can be read
    bool refused = false;  // a value text was refused; no file was touched
    bool cancelled = false;  // the question was answered Cancel; no file was touched
    bool stopped = false;
};

// "Change BZERO and BSCALE": every BZERO / BSCALE card up to END gets the
// typed value in columns 10 to 30 and keeps columns 1 to 9 and 31 to 80.
// Each file is replaced as a whole through a temporary file. The user is
// asked first (how many frames of which folder get which values) and told at
// the end how many were rewritten. `folder` names where the queue's names
// are; empty: the current folder.
RewriteResult rewriteBzeroBscale(const FileQueue& queue, const std::string& folder, const std::string& bzeroText,
                                 const std::string& bscaleText, JobProgress& progress, Platform& platform);

}  // namespace lv
