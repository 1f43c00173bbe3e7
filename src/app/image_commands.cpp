#include "app/image_commands.h"

#include <algorithm>

#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "display/grey_mapping.h"

namespace lv {

OpenResult openImage(Session& session, const OpenRequest& request, Platform& platform)
{
    OpenResult result;
    const OpenWay way = request.way;
    if (way == OpenWay::Dropped && !hasFitsFileNameEnding(request.path) && !hasCompressedFrameEnding(request.path)) {
        platform.error(kNotFitsMessage);
        return result;
    }
    const bool dialogForm = way == OpenWay::Dialog || way == OpenWay::CommandAsDialog;
    // A new image from the file dialog cannot be undone into the old one.
    if (way == OpenWay::Dialog) session.processing.undo.setAvailable(false);
    {
        BusyPointer busy(platform);
        result.opened = readFitsFile(session.image, session.state, request.path,
                                     dialogForm ? ReadForm::Dialog : ReadForm::Command, platform,
                                     &session.pixelPool) == 0;
        // The file dialog recomputes the levels whatever the read gave.
        if (request.levels && (result.opened || way == OpenWay::Dialog))
            result.levelsSet = autoLevels(session.image, session.state);
    }
    if (!result.opened && !dialogForm) platform.error(kFileOpenErrorMessage);
    if (way == OpenWay::Dialog && session.state.beepOn) platform.beep();
    return result;
}

bool saveImage(Session& session, const SaveRequest& request, Platform& platform)
{
    if (request.bitpix != 8 && request.bitpix != 16 && request.bitpix != 32) {
        platform.message(kNoBitpixMessage);
        return false;
    }
    if (!session.image.loaded()) {
        platform.message(kNoImageMessage);
        return false;
    }
    std::string error;
    std::string notice;
    bool written;
    {
        BusyPointer busy(platform);
        written = writeFitsFile(session.image, request.path, request.bitpix, error, &notice);
    }
    if (!written) platform.error(error);
    if (!notice.empty()) {
        // The blank pixels became 0s, which the statistics now count.
        session.image.minValue = std::min(session.image.minValue, 0);
        session.state.statistics = statisticsLine(session.image);
        platform.message(notice);
    }
    return written;
}

FrameInView frameInView(const Session& session)
{
    FrameInView f;
    if (!session.image.loaded()) return f;
    f.path = session.image.fileName;
    f.allPlanes = session.image.planes > 1 && !session.image.isFloat;
    return f;
}

bool readFrameAgain(Session& session, const FrameInView& frame, Platform& platform)
{
    if (frame.path.empty()) return false;
    BusyPointer busy(platform);
    const bool read = readFitsFile(session.image, session.state, frame.path,
                                   frame.allPlanes ? ReadForm::Dialog : ReadForm::Command, platform,
                                   &session.pixelPool) == 0;
    if (read) autoLevels(session.image, session.state);
    return read;
}

}  // namespace lv
