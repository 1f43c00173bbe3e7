// Opening and saving the current image: one command each, called by the
// main window, the file dialog and every subcommand of lumavist-cli.
#pragma once

#include <string>

#include "app/session.h"
#include "core/platform.h"

namespace lv {

inline constexpr const char* kNoBitpixMessage = "Please set a BITPIX";

// How a file is opened; each way has its own reader form and messages.
enum class OpenWay {
    // Drop and command line: the file-name check, the command form of the
    // reader, "File Open Error" after a rejection.
    Dropped,
    // The file dialog's open mode: the dialog form of the reader and its
    // messages only; the levels are recomputed and the beep sounds even
    // after a rejection, as the dialog always did.
    Dialog,
    // Scripts: the command form without the file-name check (any ending is
    // accepted), "File Open Error" after a rejection.
    Command,
    // Scripts reading as the file dialog does: the dialog form, its messages only.
    CommandAsDialog,
};

struct OpenRequest {
    std::string path;
    OpenWay way = OpenWay::Dropped;
    // Recompute the display levels after the read (the windows always do;
    // scripts that only look at values need not).
    bool levels = true;
};

struct OpenResult {
    bool opened = false;     // the image was replaced
    bool levelsSet = false;  // the display levels were recomputed
};

// Reads the file into the session's image (through its pixel pool), refreshes
// the statistics line and, where the way says so, the display levels. A
// rejected file leaves the image as it was; the reasons went to `platform`.
OpenResult openImage(Session& session, const OpenRequest& request, Platform& platform);

struct SaveRequest {
    std::string path;
    int bitpix = 0;  // 8, 16 or 32; 0 when none was chosen
};

// The save mode's checks (a BITPIX chosen, an image loaded), then the writer
// on plane 0. Returns true when the file was written; otherwise the reason
// was shown and nothing was written.
bool saveImage(Session& session, const SaveRequest& request, Platform& platform);

// The frame in view before a folder job, which reads its frames into the
// current image: so that the picture, the title, the statistics line and the
// next measurement describe one frame, it is read again afterwards.
struct FrameInView {
    std::string path;    // empty: no frame was loaded
    bool allPlanes = false;  // read by the file dialog with its three planes
};
FrameInView frameInView(const Session& session);
// Reads the frame again (calibrated, if the job rewrote it), with automatic
// levels and its statistics line. False when there was none, or it can no
// longer be read (the reader said why; the image is then as the job left it).
bool readFrameAgain(Session& session, const FrameInView& frame, Platform& platform);

}  // namespace lv
