#include "processing/composite.h"

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "core/fits_reader.h"
#include "fits_builder.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::card;
using test::rawCard;

// A 16-bit frame of stored values (no BZERO: they read back as they are).
std::string frame(int w, int h, const std::vector<std::uint16_t>& raw, const std::vector<std::string>& extra = {})
{
    return test::simpleFits(16, w, h, extra, test::bytes16(raw));
}

std::set<std::string> filesIn(const test::TempDir& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
    return names;
}

struct Folder {
    test::TempDir dir;
    FileQueue queue;
    ScriptedPlatform platform;
    JobProgress silent;

    void add(const std::string& name, const std::string& bytes)
    {
        test::writeFile(dir.file(name), bytes);
        queue.names.push_back(name);
    }
    CompositeResult composite(int pictures)
    {
        FitsImage image;
        AppState state;
        PixelPool pool;
        return runComposite(image, state, &pool, queue, {pictures, dir.path().string()}, silent, platform);
    }
    FitsImage read(const std::string& name)
    {
        FitsImage image;
        AppState state;
        ScriptedPlatform quiet;
        EXPECT_EQ(readFitsFile(image, state, dir.file(name), ReadForm::Command, quiet), 0) << name;
        return image;
    }
    RewriteResult rewrite(const std::string& bzero, const std::string& bscale)
    {
        return rewriteBzeroBscale(queue, dir.path().string(), bzero, bscale, silent, platform);
    }
};

// ---- composite ----------------------------------------------------------------

TEST(Composite, ThreePicturesWriteTheMeanOfEachFrameWithItsNeighboursInListOrder)
{
    Folder f;
    const std::vector<std::vector<std::uint16_t>> values = {{1, 10}, {2, 20}, {4, 40}, {8, 80}, {16, 160}};
    // The list order, not the name order, makes the groups.
    const char* names[] = {"e.fit", "a.fit", "d.fit", "b.fit", "c.fit"};
    for (int i = 0; i < 5; ++i) f.add(names[i], frame(2, 1, values[static_cast<std::size_t>(i)], {card("OBJECT", "'" + std::string(names[i], 1) + "'")}));
    const std::string before = test::readFile(f.dir.file("a.fit"));

    const CompositeResult r = f.composite(3);
    EXPECT_EQ(r.written, 3);
    EXPECT_FALSE(r.failed);
    // It says when it is done, how many it wrote and where.
    EXPECT_EQ(f.platform.messageTexts(),
              std::vector<std::string>{"Auto Composite done: 3 composites written in " + f.dir.path().string() +
                                       " (c3_ followed by the centre frame's name)"});
    EXPECT_EQ(filesIn(f.dir), (std::set<std::string>{"a.fit", "b.fit", "c.fit", "d.fit", "e.fit", "c3_a.fit",
                                                      "c3_d.fit", "c3_b.fit"}));
    // 7/3 and 70/3; 14/3 and 140/3; 28/3 and 280/3: each group from fresh sums.
    EXPECT_EQ(f.read("c3_a.fit").pixels, (std::vector<std::int32_t>{2, 23}));
    EXPECT_EQ(f.read("c3_d.fit").pixels, (std::vector<std::int32_t>{5, 47}));
    EXPECT_EQ(f.read("c3_b.fit").pixels, (std::vector<std::int32_t>{9, 93}));
    EXPECT_EQ(test::readFile(f.dir.file("a.fit")), before);

    // The centre frame's header goes with its composite.
    const FitsImage d = f.read("c3_d.fit");
    bool object = false;
    for (const HeaderCard& c : d.cards) object = object || c.rfind("OBJECT  = 'd", 0) == 0;
    EXPECT_TRUE(object);

    // Five pictures over the same five frames: the middle one only.
    const CompositeResult five = f.composite(5);
    EXPECT_EQ(five.written, 1);
    EXPECT_EQ(f.read("c5_d.fit").pixels, (std::vector<std::int32_t>{6, 62}));  // 31/5, 310/5
}

TEST(Composite, MeansRoundToTheNearestAndTooFewFramesWriteNothing)
{
    Folder f;
    f.add("a.fit", frame(2, 1, {1, 1}));
    f.add("b.fit", frame(2, 1, {2, 1}));
    f.add("c.fit", frame(2, 1, {2, 2}));
    ASSERT_EQ(f.composite(3).written, 1);
    EXPECT_EQ(f.read("c3_b.fit").pixels, (std::vector<std::int32_t>{2, 1}));  // 5/3 = 1.67, 4/3 = 1.33

    Folder six;
    for (const char* n : {"a.fit", "b.fit", "c.fit", "d.fit", "e.fit", "f.fit"}) six.add(n, frame(1, 1, {5}));
    const CompositeResult r = six.composite(7);
    EXPECT_EQ(r.written, 0);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(filesIn(six.dir).size(), 6u);
}

TEST(Composite, FramesLargerThan1025ColumnsAreAveragedWhole)
{
    Folder f;
    const int w = 1100, h = 3;
    for (int k = 0; k < 3; ++k) {
        std::vector<std::uint16_t> raw;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) raw.push_back(static_cast<std::uint16_t>(x + 2000 * y + 3 * k));
        f.add("f" + std::to_string(k) + ".fit", frame(w, h, raw));
    }
    ASSERT_EQ(f.composite(3).written, 1);
    const FitsImage out = f.read("c3_f1.fit");
    ASSERT_EQ(out.naxis1, w);
    ASSERT_EQ(out.naxis2, h);
    // (3v + 0 + 3 + 6) / 3 = v + 3 everywhere, past column 1024 too.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(out.at(x, y), x + 2000 * y + 3) << x << "," << y;
}

TEST(Composite, SumsBeyondThirtyTwoBitsAreKeptWhole)
{
    // 32-bit frames: 1500000000 + 1500000001 + 2 leaves the 32-bit range, in
    // a group starting with small values and in one starting with large ones.
    Folder f;
    const std::vector<std::vector<std::uint32_t>> values = {{1, 2}, {2, 1500000000}, {2, 1500000001}, {3, 4}};
    for (std::size_t k = 0; k < values.size(); ++k)
        f.add("f" + std::to_string(k) + ".fit", test::simpleFits(32, 2, 1, {}, test::bytes32(values[k])));
    ASSERT_EQ(f.composite(3).written, 2);
    EXPECT_EQ(f.read("c3_f1.fit").pixels, (std::vector<std::int32_t>{2, 1000000001}));  // 5/3, 3000000003/3
    EXPECT_EQ(f.read("c3_f2.fit").pixels, (std::vector<std::int32_t>{2, 1000000002}));  // 7/3, 3000000005/3
}

TEST(Composite, AGroupWithAFrameOfAnotherSizeIsPassedOverWithAMessage)
{
    Folder f;
    f.add("odd.fit", frame(3, 1, {9, 9, 9}));
    for (const char* n : {"b.fit", "c.fit", "d.fit", "e.fit"}) f.add(n, frame(2, 1, {3, 6}));
    const CompositeResult r = f.composite(3);
    EXPECT_FALSE(r.failed);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.written, 2);
    const auto messages = f.platform.messageTexts();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(f.platform.shown[0].busy);  // the job shows the busy pointer
    EXPECT_EQ(f.platform.busyDepth, 0);
    EXPECT_NE(messages[1].find("2 composites written"), std::string::npos) << messages[1];
    EXPECT_NE(messages[1].find("1 group passed over"), std::string::npos) << messages[1];
    // The message names the frame that differs, not a frame of the right size.
    EXPECT_NE(messages[0].find("odd.fit"), std::string::npos) << messages[0];
    EXPECT_EQ(messages[0].find("c.fit"), std::string::npos) << messages[0];
    EXPECT_FALSE(fs::exists(f.dir.file("c3_b.fit")));
    EXPECT_EQ(f.read("c3_c.fit").pixels, (std::vector<std::int32_t>{3, 6}));
    EXPECT_EQ(f.read("c3_d.fit").pixels, (std::vector<std::int32_t>{3, 6}));
}

TEST(Composite, AnUnreadableFrameEndsTheJobAndEarlierCompositesRemain)
{
    Folder f;
    for (const char* n : {"a.fit", "b.fit", "c.fit", "d.fit"}) f.add(n, frame(1, 1, {3}));
    f.add("bad.fit", "not a FITS file");
    f.add("f.fit", frame(1, 1, {3}));
    const CompositeResult r = f.composite(3);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.written, 2);
    ASSERT_FALSE(f.platform.messageTexts().empty());
    EXPECT_EQ(f.platform.messageTexts().back(), kFileReadError);
    EXPECT_TRUE(fs::exists(f.dir.file("c3_b.fit")));
    EXPECT_TRUE(fs::exists(f.dir.file("c3_c.fit")));
    EXPECT_FALSE(fs::exists(f.dir.file("c3_d.fit")));
    EXPECT_FALSE(fs::exists(f.dir.file("c3_bad.fit")));
    EXPECT_EQ(test::readFile(f.dir.file("bad.fit")), "not a FITS file");
}

// ---- BZERO / BSCALE rewrite ---------------------------------------------------

// "BZERO   =" value 0 in column 30, a comment from column 32.
const std::string kBzeroCard = rawCard("BZERO   =" + std::string(20, ' ') + "0 / offset of the stored values");

TEST(HeaderRewrite, ReplacesColumnsTenToThirtyAndKeepsTheRest)
{
    Folder f;
    // A data unit that looks like a BZERO card must not be touched: the walk ends at END.
    const std::string data = rawCard("BZERO   =                    7");
    f.add("a.fit", frame(40, 1, {}, {kBzeroCard, card("BSCALE", "2.0")}).substr(0, 2880) + data);
    const RewriteResult r = f.rewrite("32768", "1");
    EXPECT_FALSE(r.refused);
    EXPECT_EQ(r.rewritten, 1);
    // Asked first, told after.
    ASSERT_EQ(f.platform.shown.size(), 2u);
    EXPECT_TRUE(f.platform.shown[0].question);
    EXPECT_EQ(f.platform.shown[0].text, "1 frame in " + f.dir.path().string() + " get BZERO = 32768, BSCALE = 1");
    EXPECT_EQ(f.platform.shown[1].text, "1 frame rewritten in " + f.dir.path().string() + " (BZERO = 32768, BSCALE = 1)");

    const std::string bytes = test::readFile(f.dir.file("a.fit"));
    ASSERT_EQ(bytes.size(), 2880u + 80u);
    EXPECT_EQ(bytes.substr(5 * 80, 80),
              rawCard("BZERO   =" + std::string(16, ' ') + "32768 / offset of the stored values"));
    EXPECT_EQ(bytes.substr(6 * 80, 80), card("BSCALE", "1"));
    EXPECT_EQ(bytes.substr(0, 5 * 80), frame(40, 1, {}).substr(0, 5 * 80));
    EXPECT_EQ(bytes.substr(2880), data);
    EXPECT_EQ(filesIn(f.dir), std::set<std::string>{"a.fit"});  // no temporary file left

    // A value of 21 characters fills column 10 as well.
    ASSERT_FALSE(f.rewrite("-1234567890.123456789", "1").refused);
    EXPECT_EQ(test::readFile(f.dir.file("a.fit")).substr(5 * 80, 31), "BZERO   =-1234567890.123456789 ");
}

TEST(HeaderRewrite, ValueTextsThatCannotBeWrittenTouchNoFile)
{
    Folder f;
    f.add("a.fit", frame(1, 1, {5}, {kBzeroCard}));
    const std::string before = test::readFile(f.dir.file("a.fit"));
    for (const auto& [zero, scale] : std::vector<std::pair<std::string, std::string>>{
             {"1234567890123456789012", "1"}, {"abc", "1"}, {"0", "12x"}, {"", "1"}}) {
        f.platform.shown.clear();
        const RewriteResult r = f.rewrite(zero, scale);
        EXPECT_TRUE(r.refused) << zero << " " << scale;
        EXPECT_EQ(r.rewritten, 0);
        EXPECT_EQ(f.platform.messageTexts().size(), 1u);
        EXPECT_EQ(test::readFile(f.dir.file("a.fit")), before);
    }
}

TEST(HeaderRewrite, EntriesThatAreNotFitsFilesAndFilesWithoutTheCardsAreLeftAsTheyWere)
{
    Folder f;
    // Cards with an END but no SIMPLE first: not a FITS file.
    const std::string notes = kBzeroCard + test::endCard();
    f.add("notes.fit", notes);
    f.queue.names.push_back("missing.fit");
    f.add("plain.fit", frame(1, 1, {5}));
    f.add("a.fit", frame(1, 1, {5}, {kBzeroCard}));
    const std::string plain = test::readFile(f.dir.file("plain.fit"));

    const RewriteResult r = f.rewrite("100", "1");
    EXPECT_FALSE(r.refused);
    EXPECT_EQ(r.skipped, 2);
    EXPECT_EQ(r.rewritten, 1);  // plain.fit had nothing to rewrite
    const auto messages = f.platform.messageTexts();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_NE(messages[0].find("notes.fit"), std::string::npos);
    EXPECT_NE(messages[1].find("missing.fit"), std::string::npos);
    EXPECT_NE(messages[2].find("1 frame rewritten"), std::string::npos) << messages[2];
    EXPECT_NE(messages[2].find("3 left as they were"), std::string::npos) << messages[2];
    EXPECT_EQ(test::readFile(f.dir.file("notes.fit")), notes);
    EXPECT_FALSE(fs::exists(f.dir.file("missing.fit")));
    EXPECT_EQ(test::readFile(f.dir.file("plain.fit")), plain);
    // The job went on past them.
    EXPECT_EQ(f.read("a.fit").pixels, std::vector<std::int32_t>{105});
}

TEST(HeaderRewrite, CancelTouchesNoFileAndANightsFolderIsNamed)
{
    Folder f;
    for (const char* n : {"a.fit", "b.fit", "c.fit"}) f.add(n, frame(1, 1, {5}, {kBzeroCard}));
    const std::string before = test::readFile(f.dir.file("b.fit"));
    f.platform.answers = {false};
    const RewriteResult r = f.rewrite("32768", "1");
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.rewritten, 0);
    ASSERT_EQ(f.platform.shown.size(), 1u);
    EXPECT_EQ(f.platform.shown[0].text, "3 frames in " + f.dir.path().string() + " get BZERO = 32768, BSCALE = 1");
    for (const char* n : {"a.fit", "b.fit", "c.fit"}) EXPECT_EQ(test::readFile(f.dir.file(n)), before) << n;
    // The busy pointer came after the answer, not during the question.
    EXPECT_EQ(f.platform.busyDepth, 0);
}

}  // namespace
}  // namespace lv
