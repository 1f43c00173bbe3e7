#include "core/fits_writer.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "core/file_replace.h"
#include "core/fits_reader.h"
#include "fits_builder.h"

namespace lv {
namespace {

using test::card;

class FitsWriterTest : public ::testing::Test {
protected:
    test::TempDir dir;
    FitsImage image;
    AppState state;
    ScriptedPlatform platform;

    void load(const std::string& bytes)
    {
        const std::string path = dir.file("in.fit");
        test::writeFile(path, bytes);
        ASSERT_EQ(readFitsFile(image, state, path, ReadForm::Dialog, platform), 0);
    }
    std::string save(int bitpix, const std::string& name = "out.fit")
    {
        const std::string path = dir.file(name);
        std::string error;
        EXPECT_TRUE(writeFitsFile(image, path, bitpix, error)) << error;
        return path;
    }
    static std::string record(const std::string& file, int i) { return file.substr(80 * (i - 1), 80); }
};

TEST_F(FitsWriterTest, HeaderBlocksAndPaddedData)
{
    // 10 records: SIMPLE, BITPIX, NAXIS, NAXIS1, NAXIS2, four comments, END.
    load(test::simpleFits(8, 3, 2, {test::rawCard("COMMENT a"), test::rawCard("COMMENT b"),
                                     test::rawCard("COMMENT c"), test::rawCard("COMMENT d")},
                          test::bytes8({1, 2, 3, 4, 5, 6})));
    ASSERT_EQ(image.cardCount(), 10);
    const std::string out = test::readFile(save(8));
    ASSERT_EQ(out.size(), 2u * 2880u);
    EXPECT_EQ(record(out, 10), test::endCard());
    for (int i = 11; i <= 36; ++i) EXPECT_EQ(record(out, i), std::string(80, ' '));
    EXPECT_EQ(out.substr(2880, 6), test::bytes8({1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(out.substr(2886), std::string(2880 - 6, '\0'));  // the data unit fills its block with zeros
    EXPECT_EQ(record(out, 2), "BITPIX  =                    8" + std::string(50, ' '));
}

TEST_F(FitsWriterTest, SixteenBitIsSignedWithBzero32768AndClamped)
{
    load(test::simpleFits(32, 3, 1, {}, test::bytes32({5, 0, 70000})));
    image.at(0, 0) = -5;
    const std::string path = save(16);
    const std::string out = test::readFile(path);
    // No BZERO/BSCALE were read: both are added before END.
    EXPECT_EQ(record(out, 6), "BZERO   =                32768" + std::string(50, ' '));
    EXPECT_EQ(record(out, 7), "BSCALE  =                    1" + std::string(50, ' '));
    EXPECT_EQ(record(out, 8), test::endCard());
    EXPECT_EQ(record(out, 2), "BITPIX  =                   16" + std::string(50, ' '));
    EXPECT_EQ(out.substr(2880, 6), test::bytes16({0x8000, 0x8000, 0x7FFF}));  // 0, 0, 65535
    // The image in memory holds what was written; BITPIX record as read.
    EXPECT_EQ(image.value(0, 0), 0);
    EXPECT_EQ(image.value(2, 0), 65535);
    EXPECT_EQ(image.card(2), card("BITPIX", "32"));
    EXPECT_EQ(image.card(6), record(out, 6));
    EXPECT_EQ(image.bitpix, 16);
    EXPECT_EQ(image.fileName, path);

    // Read back with "Non Sign Integer" ticked: unchanged.
    FitsImage back;
    ASSERT_EQ(readFitsFile(back, state, path, ReadForm::Command, platform), 0);
    EXPECT_EQ(back.pixels, image.pixels);
}

TEST_F(FitsWriterTest, EightAndThirtyTwoBitKeepBzeroZero)
{
    load(test::simpleFits(16, 3, 1, {card("BZERO", "32768"), card("BSCALE", "1")},
                          test::bytes16({0x8000 + 300, 0x8000 + 7, 0x8000 - 1})));  // 300, 7, 65535
    ASSERT_EQ(image.value(0, 0), 300);
    image.at(2, 0) = -1;
    std::string out = test::readFile(save(8));
    EXPECT_EQ(out.substr(2880, 3), test::bytes8({255, 7, 0}));
    EXPECT_EQ(record(out, 6), "BZERO   =                    0" + std::string(50, ' '));
    EXPECT_EQ(image.bzero, 32768.0);  // the field itself is not changed
    EXPECT_EQ(image.value(0, 0), 255);

    image.at(0, 0) = 2147483647;
    out = test::readFile(save(32, "out32.fit"));
    EXPECT_EQ(out.substr(2880, 12), test::bytes32({2147483647u, 7, 0}));
}

TEST_F(FitsWriterTest, HeaderWithoutScalingStaysWithoutItForEightBit)
{
    load(test::simpleFits(8, 1, 1, {}, test::bytes8({9})));
    const std::string out = test::readFile(save(8));
    EXPECT_EQ(out.find("BZERO"), std::string::npos);
    EXPECT_EQ(out.find("BSCALE"), std::string::npos);
    EXPECT_EQ(image.cardCount(), 6);
}

// The data unit always matches its header: all three planes when they were
// read, otherwise a two-axis image of plane 0.
TEST_F(FitsWriterTest, ThreePlaneImagesWriteWhatTheirHeaderAnnounces)
{
    const std::string cube = test::headerBlock({card("SIMPLE", "T"), card("BITPIX", "8"),
                                                test::rawCard("NAXIS   =                    3 / axes"),
                                                card("NAXIS1", "2"), card("NAXIS2", "1"), card("NAXIS3", "3"),
                                                test::endCard()}) +
                             test::bytes8({1, 2, 3, 4, 5, 6});
    load(cube);  // the file dialog reads every plane
    ASSERT_EQ(image.planes, 3);
    image.at(1, 0, 2) = 300;  // clamped like plane 0
    std::string out = test::readFile(save(8));
    EXPECT_EQ(record(out, 6), card("NAXIS3", "3"));
    EXPECT_EQ(out.substr(2880, 6), test::bytes8({1, 2, 3, 4, 5, 255}));
    EXPECT_EQ(out.size(), 2u * 2880u);
    FitsImage back;
    ASSERT_EQ(readFitsFile(back, state, dir.file("out.fit"), ReadForm::Dialog, platform), 0);
    EXPECT_EQ(back.pixels, image.pixels);

    // The command form reads plane 0 only.
    test::writeFile(dir.file("in.fit"), cube);
    ASSERT_EQ(readFitsFile(image, state, dir.file("in.fit"), ReadForm::Command, platform), 0);
    ASSERT_EQ(image.planes, 1);
    out = test::readFile(save(16, "plane0.fit"));
    EXPECT_EQ(record(out, 3), test::rawCard("NAXIS   =                    2 / axes"));
    EXPECT_EQ(out.find("NAXIS3"), std::string::npos);
    EXPECT_EQ(out.size(), 2u * 2880u);
    ASSERT_EQ(readFitsFile(back, state, dir.file("plane0.fit"), ReadForm::Dialog, platform), 0);
    EXPECT_EQ(back.planes, 1);
    EXPECT_EQ(back.pixels, (std::vector<std::int32_t>{1, 2}));
}

// BZERO and BSCALE added to a full header would make a file that cannot be read back.
TEST_F(FitsWriterTest, SixteenBitSaveRefusesAHeaderPastFiveHundredRecords)
{
    std::vector<std::string> comments;
    for (int i = 0; i < 493; ++i) comments.push_back(test::rawCard("COMMENT " + std::to_string(i)));
    load(test::simpleFits(8, 1, 1, comments, test::bytes8({9})));
    ASSERT_EQ(image.cardCount(), 499);
    const FitsImage before = image;
    const std::string target = dir.file("full.fit");
    test::writeFile(target, "old");
    std::string error;
    EXPECT_FALSE(writeFitsFile(image, target, 16, error));
    EXPECT_NE(error.find("500"), std::string::npos) << error;
    EXPECT_EQ(test::readFile(target), "old");
    EXPECT_TRUE(image == before);
    // 8 and 32 bits add nothing and still write.
    EXPECT_TRUE(writeFitsFile(image, target, 32, error)) << error;
}

TEST_F(FitsWriterTest, SavedBzeroImageShowsTheNewScalingWithSameValues)
{
    load(test::simpleFits(16, 2, 1, {card("BZERO", "32768"), card("BSCALE", "1")}, test::bytes16({0, 0xFFFF})));
    const auto pixels = image.pixels;
    save(16);
    EXPECT_EQ(image.pixels, pixels);
    EXPECT_EQ(cardValue(image.card(6)), 32768.0);
    EXPECT_EQ(cardValue(image.card(7)), 1.0);
}

TEST_F(FitsWriterTest, FailedWriteChangesNothing)
{
    load(test::simpleFits(32, 2, 1, {}, test::bytes32({5, 70000})));
    image.at(0, 0) = -3;
    const FitsImage before = image;

    // The target is a folder: nothing can replace it.
    const std::string folder = dir.file("taken.fit");
    std::filesystem::create_directory(folder);
    std::string error;
    EXPECT_FALSE(writeFitsFile(image, folder, 16, error));
    EXPECT_NE(error.find(folder), std::string::npos);
    EXPECT_TRUE(image == before);  // no clamping, no header change
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    // A folder that does not exist.
    error.clear();
    EXPECT_FALSE(writeFitsFile(image, dir.file("no/such/x.fit"), 16, error));
    EXPECT_NE(error.find("cannot be created"), std::string::npos);
    EXPECT_TRUE(image == before);

    // No temporary files are left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2);  // in.fit and the folder
}

TEST_F(FitsWriterTest, ReplacingAFileKeepsTheOldOneUntilTheNewOneIsComplete)
{
    load(test::simpleFits(8, 1, 1, {}, test::bytes8({9})));
    const std::string target = dir.file("in.fit");
    const std::string original = test::readFile(target);
    // Overwriting the file that was read replaces it as a whole.
    image.at(0, 0) = 77;
    std::string error;
    ASSERT_TRUE(writeFitsFile(image, target, 8, error)) << error;
    const std::string replaced = test::readFile(target);
    EXPECT_EQ(replaced.size(), 2u * 2880u);
    EXPECT_EQ(static_cast<unsigned char>(replaced[2880]), 77);
    EXPECT_NE(replaced, original);
}

TEST_F(FitsWriterTest, ReadOnlyTargetIsRefusedAndKept)
{
    load(test::simpleFits(8, 1, 1, {}, test::bytes8({9})));
    const std::string target = dir.file("kept.fit");
    test::writeFile(target, "irreplaceable");
    namespace fs = std::filesystem;
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string error;
    EXPECT_FALSE(writeFitsFile(image, target, 8, error));
    EXPECT_EQ(error, target + ": the file is read-only and was left as it is");
    EXPECT_EQ(test::readFile(target), "irreplaceable");
    fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_TRUE(writeFitsFile(image, target, 8, error)) << error;
}

TEST_F(FitsWriterTest, TemporaryFilesHaveOneShortNameAndStaleOnesGo)
{
    load(test::simpleFits(8, 1, 1, {}, test::bytes8({9})));
    // A name of 250 bytes, near what file systems allow.
    const std::string longName = std::string(246, 'n') + ".fit";
    const std::string target = save(8, longName);
    EXPECT_EQ(test::readFile(target).size(), 2u * 2880u);

    const std::string temp = replacementTemporaryPath(target);
    EXPECT_EQ(std::filesystem::path(temp).parent_path(), std::filesystem::path(target).parent_path());
    EXPECT_EQ(std::filesystem::path(temp).filename().string().size(), 22u);  // .lumavist-XXXXXXXX.tmp
    EXPECT_EQ(temp, replacementTemporaryPath(target));
    EXPECT_NE(temp, replacementTemporaryPath(dir.file("other.fit")));

    // One left by a program killed while saving is gone after the next save.
    test::writeFile(temp, "half a frame");
    save(8, longName);
    EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(FitsWriterTest, FailedFlushToDiskKeepsTheOriginal)
{
    load(test::simpleFits(8, 1, 1, {}, test::bytes8({9})));
    const std::string target = dir.file("night.fit");
    test::writeFile(target, "old frame");
    setDiskFlushForTesting(EIO);
    std::string error;
    const bool written = writeFitsFile(image, target, 8, error);
    setDiskFlushForTesting(0);
    EXPECT_FALSE(written);
    EXPECT_NE(error.find("cannot be written"), std::string::npos) << error;
    EXPECT_EQ(test::readFile(target), "old frame");
    EXPECT_FALSE(std::filesystem::exists(replacementTemporaryPath(target)));
}

#ifndef _WIN32
TEST_F(FitsWriterTest, SymbolicLinkStaysALinkAndItsFileIsReplaced)
{
    load(test::simpleFits(8, 1, 1, {}, test::bytes8({9})));
    std::filesystem::create_directory(dir.file("archive"));
    const std::string real = dir.file("archive/frame.fit");
    test::writeFile(real, "old");
    const std::string link = dir.file("link.fit");
    std::filesystem::create_symlink("archive/frame.fit", link);
    std::string error;
    ASSERT_TRUE(writeFitsFile(image, link, 8, error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(real).size(), 2u * 2880u);
}
#endif

}  // namespace
}  // namespace lv
