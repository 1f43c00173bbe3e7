// Folder jobs and calibration: auto, dark, flat, calibrate.
#include <filesystem>
#include <iostream>

#include "app/image_commands.h"
#include "commands.h"
#include "core/conventions.h"
#include "core/fits_writer.h"
#include "processing/calibration.h"
#include "processing/composite.h"

namespace lv::cli {

namespace {

// The folder's qualifying frames, in file-system order or sorted.
bool listQueue(const std::string& folder, const Shared& shared, FileQueue& queue, ScriptedPlatform& platform)
{
    queue.anyFits = shared.anyFits;
    const ListResult r = listFolder(folder, queue);
    if (!r.folderRead) {
        platform.message(folder + ": the folder cannot be read");
        return false;
    }
    if (r.truncated) platform.message(folder + ": more than 3000 frames; only the first 3000 are listed");
    if (shared.sort) sortQueue(queue);
    return true;
}

std::string absoluteFolder(const std::string& folder)
{
    std::error_code ec;
    const auto abs = std::filesystem::absolute(folder, ec);
    std::string text = (ec ? std::filesystem::path(folder) : abs.lexically_normal()).make_preferred().string();
    // "dir/" normalises to "dir/": the lines join the name with one separator.
    while (text.size() > 1 && text.back() == pathSeparator()) text.pop_back();
    return text;
}

int continuous(Args args, const Shared& shared, CalibrationKind kind)
{
    const char* command = kind == CalibrationKind::Dark ? "dark" : "flat";
    const char* option = kind == CalibrationKind::Dark ? "--dark" : "--flat";
    const auto file = takeOption(args, option);
    if (!file || file->empty()) return usageError(std::string(command) + " needs " + option + " FILE");
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    if (args.size() != 1) return usageError(std::string(command) + " needs exactly one FOLDER");

    ScriptedPlatform platform;
    ProcessingState& p = session.processing;
    if (!listQueue(args[0], shared, p.queue, platform)) {
        return failWith(platform);
    }
    JobProgress silent;
    const ContinuousResult r = runContinuousCalibration(session.image, session.state, &session.pixelPool, p.undo,
                                                        p.calibration, p.queue, {kind, *file, args[0]}, silent,
                                                        platform);
    printMessageLines(platform);
    std::cout << "CALIBRATED " << r.calibrated << " SKIPPED " << r.skipped << '\n';
    return r.frameRead && !r.writeFailed ? 0 : 1;
}

}  // namespace

void printMessageLines(const ScriptedPlatform& platform)
{
    for (const std::string& m : platform.messageTexts()) std::cout << "MESSAGE " << m << '\n';
}

int failWith(const ScriptedPlatform& platform)
{
    printMessageLines(platform);
    return 1;
}

int automatic(Args args, [[maybe_unused]] const Shared& shared)
{
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    if (const int usage = takeMeasurementOptions(args, session, "auto")) return usage;
    if (const auto v = takeOption(args, "--timezone")) {
        if (*v != "0" && *v != "9") return usageError("--timezone takes 0 or 9");
        session.photometry.settings.timeZoneHours = *v == "9" ? 9 : 0;
    }
    if (args.size() != 1) return usageError("auto needs exactly one FOLDER");

    ScriptedPlatform platform;
    FileQueue& queue = session.processing.queue;
    if (!listQueue(args[0], shared, queue, platform)) {
        return failWith(platform);
    }
    // Unattended: "pictures are not checked", "display picture?" answered Cancel.
    AutomaticSetup setup;
    setup.picturesNotChecked = true;
    setup.displayPictures = false;
    setup.readFolder = args[0];
    setup.currentFolder = absoluteFolder(args[0]);
    AutomaticContext ctx = session.automaticContext(platform);
    AutomaticRun& run = session.automatic;
    const PrepareOutcome prepared = run.prepare(ctx, setup);
    if (prepared == PrepareOutcome::FileFailed || prepared == PrepareOutcome::LoadFailed) {
        return failWith(platform);
    }
    AutomaticStatus status = run.measure(ctx);
    while (status == AutomaticStatus::FrameLoaded) status = run.measure(ctx);
    printMessageLines(platform);
    std::cout << "LINES " << run.linesWrittenCount() << ' ' << run.magEstPath() << '\n';
    std::cout << "TABLE " << run.tableRowsWritten() << ' ' << run.nightTable() << '\n';
    return prepared == PrepareOutcome::Loaded && run.end() == AutomaticEnd::Finished ? 0 : 1;
}

int composite(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto pictures = takeOption(args, "--pictures");
    if (!pictures || (*pictures != "3" && *pictures != "5" && *pictures != "7"))
        return usageError("composite needs --pictures 3|5|7");
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    if (args.size() != 1) return usageError("composite needs exactly one FOLDER");
    ScriptedPlatform platform;
    FileQueue& queue = session.processing.queue;
    if (!listQueue(args[0], shared, queue, platform)) {
        return failWith(platform);
    }
    JobProgress silent;
    const CompositeResult r = runComposite(session.image, session.state, &session.pixelPool, queue,
                                           {toInt32Saturated(leadingNumber(*pictures)), args[0]}, silent, platform);
    printMessageLines(platform);
    std::cout << "WRITTEN " << r.written << " SKIPPED " << r.skipped << '\n';
    return r.failed ? 1 : 0;
}

int bzero(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto zero = takeOption(args, "--bzero");
    const auto scale = takeOption(args, "--bscale");
    if (!zero || !scale) return usageError("bzero needs --bzero TEXT and --bscale TEXT");
    if (args.size() != 1) return usageError("bzero needs exactly one FOLDER");
    ScriptedPlatform platform;
    FileQueue queue;
    if (!listQueue(args[0], shared, queue, platform)) {
        return failWith(platform);
    }
    JobProgress silent;
    const RewriteResult r = rewriteBzeroBscale(queue, args[0], *zero, *scale, silent, platform);
    printMessageLines(platform);
    std::cout << "REWRITTEN " << r.rewritten << " SKIPPED " << r.skipped << '\n';
    return r.refused ? 1 : 0;
}

int dark(Args args, [[maybe_unused]] const Shared& shared) { return continuous(std::move(args), shared, CalibrationKind::Dark); }
int flat(Args args, [[maybe_unused]] const Shared& shared) { return continuous(std::move(args), shared, CalibrationKind::Flat); }

int calibrate(Args args, [[maybe_unused]] const Shared& shared)
{
    SingleCalibration settings;
    const auto darkFile = takeOption(args, "--dark");
    const auto flatFile = takeOption(args, "--flat");
    if (darkFile.has_value() == flatFile.has_value()) return usageError("calibrate needs --dark FILE or --flat FILE");
    settings.kind = darkFile ? CalibrationKind::Dark : CalibrationKind::Flat;
    settings.path = darkFile ? *darkFile : *flatFile;
    settings.minusUsed = takeFlag(args, "--minus");
    if (settings.minusUsed && !darkFile) return usageError("--minus goes with --dark");
    int bitpix = 0;
    if (const auto b = takeOption(args, "--bitpix")) {
        bitpix = toInt32Saturated(leadingNumber(*b));
        if (bitpix != 8 && bitpix != 16 && bitpix != 32) return usageError("--bitpix must be 8, 16 or 32");
    }
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    settings.bzeroSign = session.state.bzeroSign;
    if (args.size() != 2) return usageError("calibrate needs IN and OUT");

    ScriptedPlatform platform;
    const bool done =
        openImage(session, {args[0], OpenWay::Command, false}, platform).opened &&
        calibrateImage(session.image, session.processing.undo, session.processing.calibration, settings, platform) &&
        saveImage(session, {args[1], bitpix ? bitpix : savedBitpix(session.image)}, platform);
    printMessageLines(platform);
    return done ? 0 : 1;
}

}  // namespace lv::cli
