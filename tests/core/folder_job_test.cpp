// The walk every folder job makes: which entries, what the progress window
// shows, where the user's stop ends it.
#include <gtest/gtest.h>

#include "core/folder_job.h"

namespace lv {
namespace {

struct Recorder : JobProgress {
    std::vector<std::string> seen;
    int stopAt = -1;  // the update that answers "stop"
    void show(const std::string& caption, const std::string& label) override { seen.push_back("show " + caption + " " + label); }
    bool update(const std::string& caption, const std::string& label) override
    {
        seen.push_back("update " + caption + " " + label);
        return static_cast<int>(seen.size()) - 1 != stopAt;
    }
    void close() override { seen.push_back("close"); }
};

FileQueue queueOf(std::vector<std::string> names)
{
    FileQueue q;
    q.names = std::move(names);
    return q;
}

TEST(FolderJob, QualifyingEntriesInOrderWithTheirProgress)
{
    FileQueue q = queueOf({"a.fit", "notes.txt", "b.FIT", "c.fits", "x.fts"});
    Recorder progress;
    std::vector<int> slots;
    FolderJobSteps steps;
    steps.entryCaption = [](int slot, const std::string&) { return "P" + std::to_string(slot); };
    steps.each = [&](int slot, const std::string&) {
        slots.push_back(slot);
        return EntryOutcome::Next;
    };
    bool finished = false;
    steps.finish = [&](bool stopped) {
        finished = true;
        EXPECT_FALSE(stopped);
    };
    const FolderJobEnd end = runFolderJob(FolderWalk::whole(q, true, &q.current), progress, steps);
    EXPECT_EQ(slots, (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(q.current, 5);
    EXPECT_TRUE(finished);
    EXPECT_FALSE(end.stopped);
    EXPECT_EQ(progress.seen, (std::vector<std::string>{"show P1 a.fit", "update P1 a.fit", "update P3 b.FIT",
                                                        "update P5 x.fts", "close"}));
}

TEST(FolderJob, AStopBetweenEntriesAndAnEntryThatEndsIt)
{
    FileQueue q = queueOf({"a.fit", "b.fit", "c.fit"});
    Recorder progress;
    progress.stopAt = 3;  // the third update (after the show)
    int done = 0;
    FolderJobSteps steps;
    steps.showFirst = true;
    steps.caption = "Progress";
    steps.label = "dark.fit";
    steps.each = [&](int, const std::string&) {
        ++done;
        return EntryOutcome::Next;
    };
    bool stoppedSeen = false;
    steps.finish = [&](bool stopped) { stoppedSeen = stopped; };
    EXPECT_TRUE(runFolderJob(FolderWalk::whole(q, false), progress, steps).stopped);
    EXPECT_EQ(done, 2);
    EXPECT_TRUE(stoppedSeen);
    EXPECT_EQ(progress.seen.front(), "show Progress dark.fit");
    EXPECT_EQ(progress.seen.back(), "close");

    steps.each = [&](int slot, const std::string&) { return slot == 2 ? EntryOutcome::End : EntryOutcome::Next; };
    Recorder second;
    EXPECT_TRUE(runFolderJob(FolderWalk::whole(q, false), second, steps).ended);
    EXPECT_EQ(second.seen.size(), 4u);  // show, two updates, close
}

TEST(FolderJob, ARefusedPreparationVisitsNothing)
{
    FileQueue q = queueOf({"a.fit"});
    Recorder progress;
    FolderJobSteps steps;
    steps.showFirst = true;
    steps.prepare = [] { return false; };
    steps.each = [](int, const std::string&) -> EntryOutcome {
        ADD_FAILURE() << "an entry was visited";
        return EntryOutcome::Next;
    };
    bool finished = false;
    steps.finish = [&](bool) { finished = true; };
    EXPECT_FALSE(runFolderJob(FolderWalk::whole(q, false), progress, steps).prepared);
    EXPECT_FALSE(finished);
    EXPECT_EQ(progress.seen.back(), "close");
}

}  // namespace
}  // namespace lv
