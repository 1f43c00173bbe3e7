#include "core/file_queue.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "core/conventions.h"
#include "fits_builder.h"

namespace lv {
namespace {

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

TEST(FileQueue, ListTakesPlainFilesWithAListedEndingOnly)
{
    test::TempDir dir;
    for (const char* name : {"a.fit", "B.FIT", "c.fits", "d.fts", "e.Fit", "f.FTS", "notes.txt", "fit"})
        test::writeFile(dir.file(name), "x");
    // A folder whose name looks like a frame is not a frame.
    std::filesystem::create_directory(dir.path() / "g.fit");

    FileQueue queue;
    queue.names = {"stale.fit"};
    const ListResult r = listFolder(dir.path().string(), queue);
    EXPECT_TRUE(r.folderRead);
    EXPECT_FALSE(r.truncated);
    // File-system order is not ours to fix; the set is. "fit" is listed: it has the ending.
    EXPECT_EQ(sorted(queue.names), (std::vector<std::string>{"B.FIT", "a.fit", "d.fts", "f.FTS", "fit"}));

    sortQueue(queue);
    EXPECT_EQ(queue.names, (std::vector<std::string>{"B.FIT", "a.fit", "d.fts", "f.FTS", "fit"}));
    EXPECT_EQ(listText(queue), "B.FIT\r\na.fit\r\nd.fts\r\nf.FTS\r\nfit\r\n");

    FileQueue missing;
    missing.names = {"stale.fit"};
    EXPECT_FALSE(listFolder(dir.file("no such folder"), missing).folderRead);
    EXPECT_EQ(missing.count(), 0);
}

TEST(FileQueue, SortIsOrdinalOnTheCharacterCodes)
{
    FileQueue queue;
    queue.names = {"d.fts", "a.fit", "B.FIT", "a.fit", "\xE9t\xE9.fit", "z.fit", "Z.fit", "a.fi"};
    sortQueue(queue);
    // Upper case before lower case; bytes of the upper half after every ASCII letter.
    EXPECT_EQ(queue.names, (std::vector<std::string>{"B.FIT", "Z.fit", "a.fi", "a.fit", "a.fit", "d.fts", "z.fit",
                                                     "\xE9t\xE9.fit"}));
}

TEST(FileQueue, ParseTakesLinesEndedByCarriageReturn)
{
    FileQueue queue;
    queue.current = 7;
    EXPECT_TRUE(parseList("a.fit\r\nb.fit", queue));
    EXPECT_EQ(queue.names, std::vector<std::string>{"a.fit"});

    // A deleted line is simply not there; the last line counts once it has its CR LF.
    EXPECT_TRUE(parseList("a.fit\r\nc.fit\r\n", queue));
    EXPECT_EQ(queue.names, (std::vector<std::string>{"a.fit", "c.fit"}));

    // An empty line is an empty entry and does not eat the name after it.
    EXPECT_TRUE(parseList("a.fit\r\n\r\nb.fit\r\n", queue));
    EXPECT_EQ(queue.names, (std::vector<std::string>{"a.fit", "", "b.fit"}));

    // A CR alone ends a line too; an LF alone does not.
    EXPECT_TRUE(parseList("a.fit\rb.fit\r\nc.fit\nd.fit\r\n", queue));
    EXPECT_EQ(queue.names, (std::vector<std::string>{"a.fit", "b.fit", "c.fit\nd.fit"}));

    EXPECT_TRUE(parseList("", queue));
    EXPECT_EQ(queue.count(), 0);
    EXPECT_TRUE(parseList("no line end", queue));
    EXPECT_EQ(queue.count(), 0);

    // The list text of a queue parses back to the same queue.
    FileQueue listed;
    listed.names = {"x.fit", "with space.FTS", "y.fits"};
    EXPECT_TRUE(parseList(listText(listed), queue));
    EXPECT_EQ(queue.names, listed.names);
}

TEST(FileQueue, ParseKeepsAtMostThreeThousandEntries)
{
    std::string text;
    for (int i = 0; i < FileQueue::kCapacity; ++i) text += "f" + std::to_string(i) + ".fit\r\n";
    FileQueue queue;
    EXPECT_TRUE(parseList(text, queue));
    EXPECT_EQ(queue.count(), FileQueue::kCapacity);

    EXPECT_FALSE(parseList(text + "extra.fit\r\n", queue));
    EXPECT_EQ(queue.count(), FileQueue::kCapacity);
    EXPECT_EQ(queue.name(1), "f0.fit");
    EXPECT_EQ(queue.name(FileQueue::kCapacity), "f2999.fit");
}

TEST(FileQueue, QualifyingEntries)
{
    for (const char* name : {"x.fit", "a.fit", "B.FIT", "d.fts", "E.FTS", "frame001.fit", "ab.fts"})
        EXPECT_TRUE(qualifies(name)) << name;
    for (const char* name : {"a.ft", ".fit", "x.Fit", "c.fits", "a.fit ", "", "fit"}) EXPECT_FALSE(qualifies(name)) << name;
    // The listing rule has no length limit; the job rule has.
    EXPECT_TRUE(hasListedEnding("fit"));
    EXPECT_TRUE(hasListedEnding(".fts"));
    EXPECT_FALSE(hasListedEnding("fi"));
    EXPECT_FALSE(hasListedEnding("a.fTS"));
}

TEST(FileQueue, EntryPathIsRelativeWithoutAFolder)
{
    EXPECT_EQ(entryPath("", "a.fit"), "a.fit");
    const std::string joined = entryPath("night", "a.fit");
    EXPECT_EQ(joined, std::string("night") + pathSeparator() + "a.fit");
}

TEST(FileQueue, AlsoFitsAndCompressedFramesWhenAsked)
{
    test::TempDir dir;
    for (const char* name : {"a.fit", "b.fits", "C.FITS", "d.fits.fz", "e.fit.gz", "f.Fits", "notes.txt"})
        test::writeFile(dir.file(name), "x");
    FileQueue plain;
    ListResult r = listFolder(dir.path().string(), plain);
    EXPECT_EQ(plain.names, (std::vector<std::string>{"a.fit"}));
    EXPECT_EQ(r.otherFrames, 4);  // what the tick would add; f.Fits is neither
    FileQueue any;
    any.anyFits = true;
    r = listFolder(dir.path().string(), any);
    EXPECT_EQ(sorted(any.names), (std::vector<std::string>{"C.FITS", "a.fit", "b.fits", "d.fits.fz", "e.fit.gz"}));
    EXPECT_EQ(r.otherFrames, 0);
    for (const char* name : {"b.fits", "C.FITS", "xy.fz", "xy.gz"}) {
        EXPECT_FALSE(qualifies(name)) << name;
        EXPECT_TRUE(qualifies(name, true)) << name;
    }
    EXPECT_FALSE(qualifies(".gz", true));  // shorter than 5 characters
}

}  // namespace
}  // namespace lv
