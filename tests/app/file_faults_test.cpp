// Every file the program writes, with each open, write, flush, close and
// rename failing in turn: the failure is reported, the files are exactly as
// they were, and no temporary file is left.
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>

#include <gtest/gtest.h>

#include "core/file_replace.h"
#include "core/fits_reader.h"
#include "core/fits_writer.h"
#include "core/settings.h"
#include "fits_builder.h"
#include "lightcurve/aavso.h"
#include "lightcurve/light_curve.h"
#include "lightcurve/mag_est.h"
#include "lightcurve/report.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

struct Writer {
    const char* name;
    std::vector<std::string> targets;    // the files it replaces or adds to
    std::function<std::optional<std::string>()> write;  // nothing when it worked, else what it reported
};

std::map<std::string, std::string> folderContents(const fs::path& folder)
{
    std::map<std::string, std::string> out;
    for (const auto& e : fs::directory_iterator(folder))
        out[e.path().filename().string()] = test::readFile(e.path().string());
    return out;
}

void failEachStepOf(const test::TempDir& dir, const Writer& w)
{
    std::map<std::string, std::string> originals;
    for (const std::string& t : w.targets) originals[t] = test::readFile(t);
    auto restore = [&] {
        for (const auto& [path, bytes] : originals) test::writeFile(path, bytes);
    };
    const long before = fileStepsForTesting();
    ASSERT_EQ(w.write(), std::nullopt) << w.name;
    const long steps = fileStepsForTesting() - before;
    ASSERT_GE(steps, 4) << w.name;
    for (const std::string& t : w.targets) EXPECT_NE(test::readFile(t), originals[t]) << w.name << " changed nothing";
    for (const auto& [name, bytes] : folderContents(dir.path()))
        EXPECT_NE(name.rfind(".lumavist-", 0), 0u) << w.name << " left " << name;

    for (long n = 1; n <= steps; ++n) {
        restore();
        const auto expected = folderContents(dir.path());
        failFileStepForTesting(n, ENOSPC);
        const std::optional<std::string> reported = w.write();
        failFileStepForTesting(0, 0);
        EXPECT_TRUE(reported.has_value() && !reported->empty()) << w.name << ": step " << n << " failed unreported";
        EXPECT_TRUE(folderContents(dir.path()) == expected) << w.name << ": step " << n << " changed the folder";
    }
}

LightCurveTable tableIn(const test::TempDir& dir)
{
    const std::string path = dir.file("mag_est.txt");
    test::writeFile(path, "2018-02-15 21:30:45 030 Check=011.234 Comp=010.500 Var=012.345 /obs/a.fit\r\n"
                          "2018-02-15 21:35:45 030 Check=011.230 Comp=010.510 Var=012.355 /obs/b.fit\r\n");
    LightCurveTable t;
    EXPECT_TRUE(readMagEst(path, t).opened);
    return t;
}

TEST(FileFaults, EveryStepOfEveryWriterFailsCleanly)
{
    test::TempDir dir;
    ScriptedPlatform platform;
    auto reported = [&platform](bool ok) -> std::optional<std::string> {
        std::string text = platform.shown.empty() ? std::string() : platform.shown.back().text;
        platform.shown.clear();
        if (ok) return std::nullopt;
        return text;
    };
    auto byError = [](bool ok, const std::string& error) -> std::optional<std::string> {
        if (ok) return std::nullopt;
        return error;
    };

    // A frame saved over an older one.
    FitsImage image;
    AppState state;
    const std::string frame = dir.file("frame.fit");
    test::writeFile(frame, test::simpleFits(16, 4, 3, {}, test::bytes16({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})));
    ASSERT_EQ(readFitsFile(image, state, frame, ReadForm::Dialog, platform), 0);
    image.at(0, 0) = 99;
    failEachStepOf(dir, {"FITS writer", {frame}, [&] {
                             std::string error;
                             return byError(writeFitsFile(image, frame, 16, error), error);
                         }});

    // The same frame encoded and written to its temporary file ahead of its
    // turn, as a folder job does; one dropped before its turn leaves nothing.
    image.at(1, 0) = 77;
    failEachStepOf(dir, {"FITS writer, written ahead", {frame}, [&] {
                             std::string error;
                             EncodedFits encoded;
                             if (!encodeFitsFile(image, frame, 16, encoded, error)) return std::optional(error);
                             stageEncodedFits(encoded);
                             return byError(writeEncodedFits(image, encoded, error), error);
                         }});
    {
        const auto before = folderContents(dir.path());
        EncodedFits encoded;
        std::string error;
        image.at(2, 0) = 55;
        ASSERT_TRUE(encodeFitsFile(image, frame, 16, encoded, error)) << error;
        stageEncodedFits(encoded);
        encoded = EncodedFits{};
        EXPECT_TRUE(folderContents(dir.path()) == before);
    }

    AppSettings settings;
    settings.starName = "RZ Cas";
    const std::string ini = dir.file("lumavist.ini");
    test::writeFile(ini, "old settings\r\n");
    failEachStepOf(dir, {"settings", {ini}, [&] {
                             std::string error;
                             return byError(writeSettings(ini, settings, error), error);
                         }});

    LightCurveTable table = tableIn(dir);
    const std::string magEst = table.path;
    failEachStepOf(dir, {"mag_est.txt append", {magEst}, [&] {
                             std::string error;
                             return byError(
                                 appendMagEstLine(magEst, "2018-02-15 21:40:45 030 Check=011.000 x.fit\r\n", error),
                                 error);
                         }});
    // An append that makes the file leaves none behind when it fails.
    const std::string fresh = dir.file("fresh_mag_est.txt");
    for (long n = 1; n <= 4; ++n) {
        std::string error;
        failFileStepForTesting(n, ENOSPC);
        EXPECT_FALSE(appendMagEstLine(fresh, "2018-02-15 21:40:45 030 x.fit\r\n", error)) << n;
        failFileStepForTesting(0, 0);
        EXPECT_FALSE(fs::exists(fresh)) << n;
    }

    table.comment = ";night of the 15th";
    failEachStepOf(dir, {"mag_est.txt rewrite", {magEst}, [&] {
                             platform.answers = {true};
                             return reported(saveMagEst(table, platform));
                         }});

    ReportFields fields;
    fields.star = "CASRZ";
    fields.code = "ABC";
    fields.compMag = 10.0;
    fields.colour = "V";
    const std::string folder = dir.path().string();
    test::writeFile(dir.file(kReportStdName), "old std");
    test::writeFile(dir.file(kReportFixedName), "old fixed");
    failEachStepOf(dir, {"report files", {dir.file(kReportStdName), dir.file(kReportFixedName)}, [&] {
                             const bool ok = writeReport(table, fields, 0.01, folder, platform);
                             if (ok) platform.shown.clear();  // the notice that both were written
                             return reported(ok);
                         }});

    AavsoSettings aavso;
    aavso.report = fields;
    aavso.comparisonName = "000-BBC-123";
    aavso.checkName = "000-BBC-456";
    const std::string aavsoPath = dir.file("aavso.txt");
    test::writeFile(aavsoPath, "old aavso");
    failEachStepOf(dir, {"AAVSO file", {aavsoPath}, [&] {
                             const bool ok = writeAavso(table, aavso, 0.01, aavsoPath, platform);
                             if (ok) platform.shown.clear();
                             return reported(ok);
                         }});
}

}  // namespace
}  // namespace lv
