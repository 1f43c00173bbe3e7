#include "app/image_commands.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "core/fits_reader.h"
#include "fits_builder.h"

namespace lv {
namespace {

using test::bytes16;
using test::bytes8;
using test::simpleFits;

class ImageCommandsTest : public ::testing::Test {
protected:
    test::TempDir dir;
    Session session;
    ScriptedPlatform platform;

    std::string put(const std::string& name, const std::string& bytes)
    {
        const std::string path = dir.file(name);
        test::writeFile(path, bytes);
        return path;
    }
    OpenResult open(const std::string& path, OpenWay way, bool levels = true)
    {
        return openImage(session, {path, way, levels}, platform);
    }
};

TEST_F(ImageCommandsTest, DroppedFilesAreCheckedByNameThenRead)
{
    const std::string fits = put("frame.fits", simpleFits(8, 1, 1, {}, bytes8({1})));
    EXPECT_FALSE(open(fits, OpenWay::Dropped).opened);
    EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"This file is not FITS file"}));
    EXPECT_FALSE(session.image.loaded());

    platform.shown.clear();
    const std::string broken = put("broken.fit", "SIMPLE");
    EXPECT_FALSE(open(broken, OpenWay::Dropped).opened);
    EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{broken + "BITPIX error", "File Open Error"}));
    EXPECT_EQ(platform.busyDepth, 0);

    platform.shown.clear();
    const std::string good = put("good.fit", simpleFits(16, 2, 1, {}, bytes16({100, 900})));
    const OpenResult r = open(good, OpenWay::Dropped);
    EXPECT_TRUE(r.opened);
    EXPECT_TRUE(r.levelsSet);
    EXPECT_TRUE(platform.shown.empty());
    EXPECT_EQ(session.image.fileName, good);
    EXPECT_EQ(session.image.value(1, 0), 900);
    EXPECT_EQ(session.state.statistics, "max 900 / min 100 / ave 500");
    EXPECT_GT(session.state.range, 0);
}

TEST_F(ImageCommandsTest, ScriptsSkipTheNameCheckAndMayKeepTheLevels)
{
    const std::string fits = put("frame.fits", simpleFits(8, 1, 1, {}, bytes8({7})));
    session.state.range = 1234;
    const OpenResult r = open(fits, OpenWay::Command, false);
    EXPECT_TRUE(r.opened);
    EXPECT_FALSE(r.levelsSet);
    EXPECT_EQ(session.state.range, 1234);
    EXPECT_EQ(session.state.statistics, "max 7 / min 7 / ave 7");

    const std::string broken = put("broken.fts", "SIMPLE");
    EXPECT_FALSE(open(broken, OpenWay::CommandAsDialog).opened);
    // The dialog form names no file and adds no "File Open Error".
    EXPECT_EQ(platform.messageTexts(), (std::vector<std::string>{"BITPIX error"}));
    EXPECT_EQ(session.image.value(0, 0), 7);
}

TEST_F(ImageCommandsTest, TheDialogBeepsAndKeepsTheOldImageOnRejection)
{
    session.state.beepOn = true;
    const std::string good = put("good.fit", simpleFits(8, 2, 1, {}, bytes8({10, 30})));
    EXPECT_TRUE(open(good, OpenWay::Dialog).opened);
    EXPECT_EQ(platform.beeps, 1);
    const FitsImage before = session.image;

    const std::string shortData = put("short.fit", simpleFits(8, 4, 4, {}, bytes8({1, 2})));
    const OpenResult r = open(shortData, OpenWay::Dialog);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(platform.beeps, 2);
    EXPECT_TRUE(session.image == before);
    EXPECT_EQ(platform.messageTexts().size(), 1u);
}

TEST_F(ImageCommandsTest, ReadsReuseThePoolOfTheSession)
{
    const std::string a = put("a.fit", simpleFits(16, 64, 64, {}, bytes16(std::vector<std::uint16_t>(64 * 64, 5))));
    ASSERT_TRUE(open(a, OpenWay::Command).opened);
    const std::int32_t* first = session.image.pixels.data();
    ASSERT_TRUE(open(a, OpenWay::Command).opened);
    // The first image's storage went to the pool, so the third read gets it back.
    EXPECT_EQ(session.pixelPool.capacity(), 64u * 64u);
    ASSERT_TRUE(open(a, OpenWay::Command).opened);
    EXPECT_EQ(session.image.pixels.data(), first);
}

TEST_F(ImageCommandsTest, SavingChecksBitpixThenImageThenWrites)
{
    const std::string out = dir.file("out.fit");
    EXPECT_FALSE(saveImage(session, {out, 0}, platform));
    EXPECT_FALSE(saveImage(session, {out, 16}, platform));
    EXPECT_EQ(platform.messageTexts(),
              (std::vector<std::string>{"Please set a BITPIX", "You do not open the data file"}));
    EXPECT_FALSE(std::filesystem::exists(out));

    const std::string good = put("good.fit", simpleFits(8, 2, 1, {}, bytes8({10, 30})));
    ASSERT_TRUE(open(good, OpenWay::Command).opened);
    platform.shown.clear();
    EXPECT_TRUE(saveImage(session, {out, 16}, platform));
    EXPECT_TRUE(platform.shown.empty());
    EXPECT_EQ(platform.busyDepth, 0);

    Session back;
    ASSERT_TRUE(openImage(back, {out, OpenWay::Command}, platform).opened);
    EXPECT_EQ(back.image.bitpix, 16);
    EXPECT_EQ(back.image.value(1, 0), 30);

    EXPECT_FALSE(saveImage(session, {dir.file("no/such/folder/x.fit"), 8}, platform));
    ASSERT_EQ(platform.messageTexts().size(), 1u);
    EXPECT_NE(platform.messageTexts()[0].find("no/such/folder/x.fit"), std::string::npos);
}

}  // namespace
}  // namespace lv
