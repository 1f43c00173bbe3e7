// The one walk every folder job makes over the folder window's list: the
// slots it visits, the progress window (its caption and label per entry),
// the stop the user asks for between entries, and one ending.
#pragma once

#include <functional>
#include <string>

#include "core/file_queue.h"
#include "core/job_progress.h"

namespace lv {

// The entries of a queue from slot `first` to `last`, in order, optionally
// only those that qualify. The slot being visited is written to `current`
// (the queue's own, for the jobs that keep it) when one is given.
class FolderWalk {
public:
    FolderWalk(const FileQueue& queue, int first, int last, bool onlyQualifying, int* current = nullptr);
    // The walk for the whole queue.
    static FolderWalk whole(const FileQueue& queue, bool onlyQualifying, int* current = nullptr)
    {
        return FolderWalk(queue, 1, queue.count(), onlyQualifying, current);
    }
    // Moves on to the next entry; false past the last one.
    bool next();
    int slot() const { return slot_; }
    const std::string& name() const { return queue_.name(slot_); }

private:
    const FileQueue& queue_;
    int slot_;
    int last_;
    bool onlyQualifying_;
    int* current_;
};

enum class EntryOutcome { Next, End };

// A folder job in steps. The progress window shows `caption` and `label`
// before `prepare` when `showFirst` is set, otherwise at the first entry
// with that entry's caption and name; every entry then updates it before
// `each` runs. `prepare` returning false, `each` returning End or the user
// stopping the job end the walk; the window is closed and `finish` runs.
struct FolderJobSteps {
    bool showFirst = false;
    std::string caption;
    std::string label;
    std::function<bool()> prepare;
    std::function<std::string(int slot, const std::string& name)> entryCaption;
    std::function<EntryOutcome(int slot, const std::string& name)> each;
    std::function<void(bool stopped)> finish;
};

struct FolderJobEnd {
    bool prepared = true;   // false: `prepare` refused and no entry was visited
    bool stopped = false;   // the user stopped it between two entries
    bool ended = false;     // an entry ended it
};

FolderJobEnd runFolderJob(FolderWalk walk, JobProgress& progress, const FolderJobSteps& steps);

}  // namespace lv
