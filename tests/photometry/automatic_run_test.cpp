#include "photometry/automatic_run.h"

#include <gtest/gtest.h>

#include "photometry/night_table.h"

#include "core/conventions.h"
#include "fits_builder.h"
#include "photometry/positions.h"

namespace lv {
namespace {

using test::card;

FitsImage headerOf(const std::vector<std::string>& cards)
{
    FitsImage img;
    img.cards = cards;
    img.cards.push_back(test::endCard());
    return img;
}

SavedLineHeader read(const std::vector<std::string>& cards, double runExposure = 0, int timeZone = 0)
{
    return readSavedLineHeader(headerOf(cards), runExposure, timeZone);
}

// ---- the header reading of a saved line --------------------------------------------

TEST(SavedLineHeader, CombinedDateObsGivesDateTimeAndTheRunsExposure)
{
    const SavedLineHeader h = read({card("DATE-OBS", "'2018-02-15T12:30:45'"), card("EXPTIME", "30")}, 30);
    EXPECT_EQ(h.date, "2018-02-15");
    EXPECT_EQ(h.time, "12:30:45");
    EXPECT_EQ(h.exposure, 30);
    MagEstRecord r;
    r.date = h.date;
    r.time = h.time;
    r.exposure = h.exposure;
    EXPECT_EQ(magEstLine(r, 3).substr(0, 24), "2018-02-15 12:30:45 030 ");

    // The combined form skips the other keywords, EXPTIME included.
    const SavedLineHeader skipped = read({card("DATE-OBS", "'2018-02-15T12:30:45'"), card("EXPTIME", "60"),
                                          card("UT", "'01:02:03'"), card("JST", "'03:00:00'"),
                                          card("TIMESYS", "'UTC     '")},
                                         30);
    EXPECT_EQ(skipped.date, "2018-02-15");
    EXPECT_EQ(skipped.time, "12:30:45");
    EXPECT_EQ(skipped.exposure, 30);
}

TEST(SavedLineHeader, SeparateKeywords)
{
    SavedLineHeader h = read({card("DATE-OBS", "'2018-02-15'"), card("UT", "'12:30:45'"), card("EXPTIME", "30.0")}, 99);
    EXPECT_EQ(h.date, "2018-02-15");
    EXPECT_EQ(h.time, "12:30:45");
    EXPECT_EQ(h.exposure, 30);

    h = read({card("DATE-OBS", "'15/02/18'"), card("UT-START", "'01:02:03'")});
    EXPECT_EQ(h.date, "15/02/18");
    EXPECT_EQ(h.time, "01:02:03");

    // JST wins over UT wherever it stands.
    h = read({card("JST", "'05:20:00'"), card("UT", "'20:20:00'")});
    EXPECT_EQ(h.time, "05:20:00");
    // JST times are rebuilt; parts missing for want of a ":" are 0.
    EXPECT_EQ(read({card("JST", "'5:20'")}).time, "05:20:00");
    EXPECT_EQ(read({card("JST", "'7'")}).time, "07:00:00");
    // TIME-OBS only when nothing else gave a time.
    h = read({card("TIME-OBS", "'03:04:05'")});
    EXPECT_EQ(h.time, "03:04:05");
    h = read({card("UT", "'10:11:12'"), card("TIME-OBS", "'03:04:05'")});
    EXPECT_EQ(h.time, "10:11:12");

    // Nothing found: the start values, and no exposure even though the run read one.
    h = read({card("OBJECT", "'RZ CAS'")}, 30);
    EXPECT_EQ(h.date, "00/00/00");
    EXPECT_EQ(h.time, "00:00:00");
    EXPECT_EQ(h.exposure, 0);
}

// A line end in a header value must not split the line mag_est.txt gets.
TEST(SavedLineHeader, ControlCharactersEndTheDateAndTime)
{
    SavedLineHeader h = read({card("DATE-OBS", "'15/02/18\r'"), card("UT", "'21:30:4\n5'")});
    EXPECT_EQ(h.date, "15/02/18");
    EXPECT_EQ(h.time, "21:30:4");
    h = read({card("DATE-OBS", "'2018-02-15T12:30\x7f" "45'")}, 30);
    EXPECT_EQ(h.date, "2018-02-15");
    EXPECT_EQ(h.time, "12:30");
    MagEstRecord r;
    r.date = h.date;
    r.time = h.time;
    const std::string line = magEstLine(r, 3);
    EXPECT_EQ(line.find_first_of("\r\n\x7f"), line.size() - 2);
}

TEST(SavedLineHeader, JstWithUtcTimeSystemMovesEarlyMorningsToTheNextDay)
{
    const std::string utc = card("TIMESYS", "'UTC     '");
    EXPECT_EQ(read({card("DATE-OBS", "'2018-02-28'"), card("JST", "'05:20:00'"), utc}).date, "01/03/18");
    EXPECT_EQ(read({card("DATE-OBS", "'2020-02-28'"), card("JST", "'05:20:00'"), utc}).date, "29/02/20");
    EXPECT_EQ(read({card("DATE-OBS", "'31/12/99'"), card("JST", "'08:59:59'"), utc}).date, "01/01/00");
    // Not before 09:00, not without JST, not another time system: the date as found.
    EXPECT_EQ(read({card("DATE-OBS", "'2018-02-28'"), card("JST", "'09:00:00'"), utc}).date, "2018-02-28");
    EXPECT_EQ(read({card("DATE-OBS", "'2018-02-28'"), card("UT", "'05:20:00'"), utc}).date, "2018-02-28");
    EXPECT_EQ(read({card("DATE-OBS", "'2018-02-28'"), card("JST", "'05:20:00'"), card("TIMESYS", "'UT1     '")}).date,
              "2018-02-28");
}

TEST(SavedLineHeader, PlusNineHoursPassesTwentyFourAndKeepsTheDate)
{
    const SavedLineHeader h = read({card("DATE-OBS", "'2018-02-15'"), card("UT", "'18:15:00'")}, 0, 9);
    EXPECT_EQ(h.time, "27:15:00");
    EXPECT_EQ(h.date, "2018-02-15");
    EXPECT_EQ(read({}, 0, 9).time, "09:00:00");
}

TEST(NextDay, MonthAndYearEnds)
{
    const std::pair<const char*, const char*> cases[] = {
        {"31/12/99", "01/01/00"}, {"2019-12-31", "01/01/20"}, {"2018-01-31", "01/02/18"},
        {"2018-02-28", "01/03/18"}, {"2020-02-28", "29/02/20"}, {"2020-02-29", "01/03/20"},
        {"2000-02-28", "29/02/00"}, {"2018-04-30", "01/05/18"}, {"2018-04-29", "30/04/18"},
        {"2018-11-30", "01/12/18"}, {"15/02/18", "16/02/18"},
    };
    for (const auto& [from, to] : cases) EXPECT_EQ(nextDayText(from), to) << from;
}

// ---- the run over a folder ------------------------------------------------------------

constexpr int kSide = 64;
constexpr int kSky = 100;
// A star of net 1000 is 12.464, of net 100 14.976, of net 10000 9.952.
constexpr int kComparisonNet = 1000;
constexpr int kCheckNet = 10000;

// A frame with one-pixel stars on a flat sky: comparison (15, 15), variable
// (45, 15), check (15, 45).
std::string frame(int variableNet, const std::string& ut)
{
    std::vector<std::uint16_t> v(kSide * kSide, kSky);
    v[15 * kSide + 15] = kSky + kComparisonNet;
    v[15 * kSide + 45] = static_cast<std::uint16_t>(kSky + variableNet);
    v[45 * kSide + 15] = kSky + kCheckNet;
    return test::simpleFits(16, kSide, kSide,
                            {card("DATE-OBS", "'2018-02-15'"), card("UT", "'" + ut + "'"), card("EXPTIME", "30")},
                            test::bytes16(v));
}

struct Folder {
    test::TempDir dir;
    FitsImage image;
    AppState state;
    PixelPool pool;
    PhotometryState photometry;
    FileQueue queue;
    ScriptedPlatform platform;
    AutomaticContext ctx{image, state, &pool, photometry, queue, platform};
    AutomaticRun run;

    Folder() { photometry.settings.positionMode = PositionMode::Fixed; }
    void add(const std::string& name, const std::string& bytes)
    {
        test::writeFile(dir.file(name), bytes);
        queue.names.push_back(name);
    }
    // Three frames whose variables are 14.976, 12.464 and 9.952.
    void threeFrames()
    {
        add("f1.fit", frame(100, "12:30:00"));
        add("f2.fit", frame(1000, "12:31:00"));
        add("f3.fit", frame(10000, "12:32:00"));
    }
    void placeStars()
    {
        setStarPosition(photometry, kComparison, {15, 15});
        setStarPosition(photometry, kVariable, {45, 15});
        setStarPosition(photometry, kCheck, {15, 45});
    }
    PrepareOutcome prepare(bool unattended = false)
    {
        AutomaticSetup s;
        s.picturesNotChecked = unattended;
        s.displayPictures = !unattended;
        s.readFolder = dir.path().string();
        s.currentFolder = dir.path().string();
        return run.prepare(ctx, s);
    }
    std::string magEst() const { return test::readFile(dir.file("mag_est.txt")); }
    std::string line(const std::string& ut, const char* var, const std::string& name) const
    {
        return "2018-02-15 " + ut + " 030 Check=009.952 Comp=012.464 Var=" + var + " " + dir.path().string() +
               pathSeparator() + name + "\r\n";
    }
    std::string line1() const { return line("12:30:00", "014.976", "f1.fit"); }
    std::string line2() const { return line("12:31:00", "012.464", "f2.fit"); }
    std::string line3() const { return line("12:32:00", "009.952", "f3.fit"); }
};

TEST(AutomaticRun, ThreeFramesAnsweredOneByOne)
{
    for (const FrameChoice second : {FrameChoice::Save, FrameChoice::Skip}) {
        Folder f;
        f.threeFrames();
        test::writeFile(f.dir.file("mag_est.txt"), "an earlier night\r\n");
        ASSERT_EQ(f.prepare(), PrepareOutcome::Loaded);
        EXPECT_EQ(f.magEst(), "");
        EXPECT_EQ(f.queue.current, 1);
        f.placeStars();

        EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::AwaitingChoice);
        EXPECT_TRUE(f.run.waiting());
        EXPECT_EQ(f.run.choose(f.ctx, FrameChoice::Save), AutomaticStatus::FrameLoaded);
        EXPECT_EQ(f.queue.current, 2);
        EXPECT_EQ(f.image.fileName, f.dir.file("f2.fit"));
        EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::AwaitingChoice);
        EXPECT_EQ(f.run.choose(f.ctx, second), AutomaticStatus::FrameLoaded);
        EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::AwaitingChoice);
        EXPECT_TRUE(f.platform.messageTexts().empty());
        EXPECT_EQ(f.run.choose(f.ctx, FrameChoice::Save), AutomaticStatus::Ended);

        EXPECT_EQ(f.run.end(), AutomaticEnd::Finished);
        EXPECT_EQ(f.platform.messageTexts(), std::vector<std::string>{kAutomaticEndMessage});
        EXPECT_EQ(f.magEst(), f.line1() + (second == FrameChoice::Save ? f.line2() : "") + f.line3());
        EXPECT_EQ(f.run.linesWrittenCount(), second == FrameChoice::Save ? 3 : 2);
        // The run is over: pressing "Automatic" again measures nothing.
        EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::Ended);
        EXPECT_EQ(f.magEst(), f.line1() + (second == FrameChoice::Save ? f.line2() : "") + f.line3());
    }
}

TEST(AutomaticRun, CancelOnTheFirstFrameWritesNothingAndCanBeResumed)
{
    Folder f;
    f.threeFrames();
    ASSERT_EQ(f.prepare(), PrepareOutcome::Loaded);
    f.placeStars();
    EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::AwaitingChoice);
    EXPECT_EQ(f.run.choose(f.ctx, FrameChoice::Cancel), AutomaticStatus::Ended);
    EXPECT_EQ(f.run.end(), AutomaticEnd::Cancelled);
    EXPECT_TRUE(f.platform.messageTexts().empty());
    EXPECT_EQ(f.magEst(), "");
    EXPECT_TRUE(f.run.prepared());

    // "Automatic" again: the same frame.
    EXPECT_EQ(f.queue.current, 1);
    EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::AwaitingChoice);
    EXPECT_EQ(f.run.choose(f.ctx, FrameChoice::Save), AutomaticStatus::FrameLoaded);
    EXPECT_EQ(f.magEst(), f.line1());
}

TEST(AutomaticRun, UnattendedSavesEveryFrameWithoutAsking)
{
    Folder f;
    f.threeFrames();
    ASSERT_EQ(f.prepare(true), PrepareOutcome::Loaded);
    f.placeStars();
    int frames = 0;
    AutomaticStatus s = f.run.measure(f.ctx);
    for (; s == AutomaticStatus::FrameLoaded; s = f.run.measure(f.ctx)) ++frames;
    EXPECT_EQ(s, AutomaticStatus::Ended);
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(f.run.end(), AutomaticEnd::Finished);
    EXPECT_EQ(f.magEst(), f.line1() + f.line2() + f.line3());
    EXPECT_EQ(f.platform.messageTexts(), std::vector<std::string>{kAutomaticEndMessage});
    for (const auto& shown : f.platform.shown) EXPECT_FALSE(shown.question);
}

// photometry.csv starts again with mag_est.txt and gets a row for each line,
// the values of the same measurement the window shows; a saturated star
// keeps its line, with a message naming the frame and a flag.
TEST(AutomaticRun, TheNightTableFollowsTheDataFile)
{
    Folder f;
    f.threeFrames();
    test::writeFile(f.dir.file("photometry.csv"), "an earlier night\r\n");
    ASSERT_EQ(f.prepare(), PrepareOutcome::Loaded);
    const std::string table = f.dir.file("photometry.csv");
    EXPECT_EQ(test::readFile(table), std::string(kNightTableHeader) + "\r\n");
    f.placeStars();
    f.photometry.targetSite.camera.linearity = 5000;  // the check star (10100) reaches it
    f.photometry.targetSite.target = SkyPosition{15, 60};
    std::string rows;
    for (const FrameChoice choice : {FrameChoice::Save, FrameChoice::Skip, FrameChoice::Save}) {
        ASSERT_EQ(f.run.measure(f.ctx), AutomaticStatus::AwaitingChoice);
        // The same measurement as the window's "Photometry" on this frame.
        PhotometryState again = f.photometry;
        ScriptedPlatform quiet;
        const PhotometryOutcome shown = runPhotometry(f.image, again, false, quiet);
        const std::string name = f.queue.name(f.queue.current);
        if (choice == FrameChoice::Save) rows += nightTableRow(name, shown);
        f.run.choose(f.ctx, choice);
    }
    EXPECT_EQ(f.magEst(), f.line1() + f.line3());
    EXPECT_EQ(test::readFile(table), std::string(kNightTableHeader) + "\r\n" + rows);
    EXPECT_EQ(f.run.tableRowsWritten(), 2);
    // f1 (mid-exposure 12:30:15 UTC): the variable's net 100 is 15.0000 on the
    // standard scale, the comparison's 1000 12.5000.
    EXPECT_EQ(rows.rfind("f1.fit,2458165.021007,", 0), 0u) << rows;
    EXPECT_NE(rows.find(",15.0000,"), std::string::npos) << rows;
    EXPECT_NE(rows.find(",12.5000,"), std::string::npos) << rows;
    EXPECT_NE(rows.find(",2.5000,"), std::string::npos) << rows;  // V - C
    EXPECT_NE(rows.find("saturated_k;no_airmass"), std::string::npos) << rows;
    int saturatedMessages = 0;
    for (const std::string& m : f.platform.messageTexts())
        saturatedMessages += m.find("check (peak 10100 ADU) reached the linearity limit of 5000 ADU") != std::string::npos;
    EXPECT_EQ(saturatedMessages, 2);
}

TEST(AutomaticRun, TheLineFollowsTheDigitAndTimeZoneSettings)
{
    Folder f;
    f.add("f1.fit", frame(100, "18:15:00"));
    ASSERT_EQ(f.prepare(true), PrepareOutcome::Loaded);
    f.placeStars();
    f.photometry.settings.digits = 2;
    f.photometry.settings.timeZoneHours = 9;
    EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::Ended);
    EXPECT_EQ(f.magEst(), "2018-02-15 27:15:00 030 Check=009.95 Comp=012.46 Var=014.98 " + f.dir.path().string() +
                              pathSeparator() + "f1.fit\r\n");
}

TEST(AutomaticRun, EntriesThatDoNotQualifyArePassedOver)
{
    Folder f;
    f.add("x.ft", frame(100, "11:00:00"));
    f.add("f1.fit", frame(100, "12:30:00"));
    f.add("a.fits", frame(100, "11:00:00"));
    f.queue.names.push_back("");
    f.add("f3.fit", frame(10000, "12:32:00"));
    ASSERT_EQ(f.prepare(true), PrepareOutcome::Loaded);
    EXPECT_EQ(f.queue.current, 2);
    f.placeStars();
    AutomaticStatus s = f.run.measure(f.ctx);
    while (s == AutomaticStatus::FrameLoaded) s = f.run.measure(f.ctx);
    EXPECT_EQ(f.magEst(), f.line1() + f.line3());
}

TEST(AutomaticRun, PositionsNotSetStopsBeforeMeasuring)
{
    Folder f;
    f.threeFrames();
    ASSERT_EQ(f.prepare(true), PrepareOutcome::Loaded);
    EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::Ended);
    EXPECT_EQ(f.run.end(), AutomaticEnd::PositionsNotSet);
    EXPECT_EQ(f.platform.messageTexts(), std::vector<std::string>{kPositionsNotSetMessage});
    EXPECT_EQ(f.magEst(), "");

    // Comparison and variable on one spot count as not set.
    setStarPosition(f.photometry, kComparison, {45, 15});
    setStarPosition(f.photometry, kVariable, {45, 15});
    EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::Ended);
    EXPECT_EQ(f.run.end(), AutomaticEnd::PositionsNotSet);

    f.placeStars();
    EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::FrameLoaded);
    EXPECT_EQ(f.magEst(), f.line1());
}

TEST(AutomaticRun, AFrameWithoutAStarGetsNoLine)
{
    Folder f;
    f.add("f1.fit", frame(100, "12:30:00"));
    f.add("f2.fit", frame(0, "12:31:00"));
    f.add("f3.fit", frame(10000, "12:32:00"));
    ASSERT_EQ(f.prepare(true), PrepareOutcome::Loaded);
    f.placeStars();
    AutomaticStatus s = f.run.measure(f.ctx);
    while (s == AutomaticStatus::FrameLoaded) s = f.run.measure(f.ctx);
    EXPECT_EQ(f.run.end(), AutomaticEnd::Finished);
    // Not the first frame's variable under the second frame's name.
    EXPECT_EQ(f.magEst(), f.line1() + f.line3());
    const std::vector<std::string> messages = f.platform.messageTexts();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], kNoStarMessage);
    EXPECT_NE(messages[1].find("f2.fit"), std::string::npos) << messages[1];
    EXPECT_EQ(messages[2], kAutomaticEndMessage);
}

TEST(AutomaticRun, UnreadableFrames)
{
    const std::string bad = test::simpleFits(12, 1, 1, {}, std::string(8, '\0'));
    {
        // In the middle: the run ends there, the lines before it stay.
        Folder f;
        f.add("f1.fit", frame(100, "12:30:00"));
        f.add("bad.fit", bad);
        f.add("f3.fit", frame(10000, "12:32:00"));
        ASSERT_EQ(f.prepare(true), PrepareOutcome::Loaded);
        f.placeStars();
        EXPECT_EQ(f.run.measure(f.ctx), AutomaticStatus::Ended);
        EXPECT_EQ(f.run.end(), AutomaticEnd::Finished);
        EXPECT_EQ(f.magEst(), f.line1());
        const std::vector<std::string> messages = f.platform.messageTexts();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0], f.dir.file("bad.fit") + "BITPIX error : BITPIX = 12");
        EXPECT_EQ(messages[1], kAutomaticEndMessage);
    }
    {
        // The first frame: the preparation ends, and nothing is measured under its name.
        Folder f;
        f.add("bad.fit", bad);
        f.add("f1.fit", frame(100, "12:30:00"));
        f.image.fileName = "left over";
        ASSERT_EQ(f.prepare(true), PrepareOutcome::LoadFailed);
        EXPECT_EQ(f.image.fileName, "left over");
        f.placeStars();
        f.run.measure(f.ctx);
        EXPECT_EQ(f.magEst(), "");
    }
    {
        Folder f;
        f.add("a.fits", frame(100, "12:30:00"));
        test::writeFile(f.dir.file("mag_est.txt"), "old\r\n");
        EXPECT_EQ(f.prepare(), PrepareOutcome::NoFrame);
        EXPECT_EQ(f.magEst(), "");
    }
}

}  // namespace
}  // namespace lv
