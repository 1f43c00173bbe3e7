#include "core/folder_job.h"

namespace lv {

FolderWalk::FolderWalk(const FileQueue& queue, int first, int last, bool onlyQualifying, int* current)
    : queue_(queue), slot_(first - 1), last_(last), onlyQualifying_(onlyQualifying), current_(current)
{
}

bool FolderWalk::next()
{
    while (++slot_ <= last_) {
        if (current_) *current_ = slot_;
        if (!onlyQualifying_ || qualifies(queue_.name(slot_), queue_.anyFits)) return true;
    }
    return false;
}

FolderJobEnd runFolderJob(FolderWalk walk, JobProgress& progress, const FolderJobSteps& steps)
{
    FolderJobEnd end;
    bool shown = false;
    if (steps.showFirst) {
        progress.show(steps.caption, steps.label);
        shown = true;
    }
    if (steps.prepare && !steps.prepare()) {
        end.prepared = false;
        if (shown) progress.close();
        return end;
    }
    while (walk.next()) {
        const std::string caption = steps.entryCaption ? steps.entryCaption(walk.slot(), walk.name()) : steps.caption;
        if (!shown) {
            progress.show(caption, walk.name());
            shown = true;
        }
        if (!progress.update(caption, walk.name())) {
            end.stopped = true;
            break;
        }
        if (steps.each && steps.each(walk.slot(), walk.name()) == EntryOutcome::End) {
            end.ended = true;
            break;
        }
    }
    if (shown) progress.close();
    if (steps.finish) steps.finish(end.stopped);
    return end;
}

}  // namespace lv
