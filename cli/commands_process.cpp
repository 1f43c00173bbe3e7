// Image processing from a script: process, fit.
#include <algorithm>
#include <iostream>
#include <optional>

#include "app/image_commands.h"
#include "commands.h"
#include "core/conventions.h"
#include "core/fits_writer.h"
#include "display/grey_mapping.h"
#include "processing/calibration.h"
#include "processing/corrections.h"
#include "processing/filters.h"
#include "processing/polynomial_fit.h"
#include "processing/inclination.h"
#include "spectrum/intensity_curve.h"

namespace lv::cli {

namespace {

void dumpPlane(const FitsImage& image)
{
    std::string line;
    for (int y = 0; y < image.naxis2; ++y) {
        line.clear();
        for (int x = 0; x < image.naxis1; ++x) {
            if (x) line.push_back(' ');
            line += image.isBlank(x, y) ? std::string("blank") : plainNumberText(image.value(x, y));
        }
        std::cout << line << '\n';
    }
}

}  // namespace

int process(Args argsIn, const Shared& shared)
{
    if (argsIn.empty()) return usageError("process needs IN and at least one operation");
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    ScriptedPlatform platform;
    std::string in, out;
    int bitpix = 0;
    bool dump = false;
    // The operations run in the order given, after IN is read.
    std::vector<Args> ops;
    for (std::size_t i = 0; i < argsIn.size(); ++i) {
        const std::string& a = argsIn[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argsIn.size()) return std::nullopt;
            return argsIn[++i];
        };
        if (a == "--out") {
            const auto v = value();
            if (!v) return usageError("--out needs OUT");
            out = *v;
        } else if (a == "--bitpix") {
            const auto v = value();
            bitpix = v ? toInt32Saturated(leadingNumber(*v)) : 0;
            if (bitpix != 8 && bitpix != 16 && bitpix != 32) return usageError("--bitpix must be 8, 16 or 32");
        } else if (a == "--dump") {
            dump = true;
        } else if (a == "--bin" || a == "--bow" || a == "--add" || a == "--multiply" || a == "--incline-row" || a == "--dark" ||
                   a == "--flat") {
            const auto v = value();
            if (!v) return usageError(a + " needs a value");
            ops.push_back({a, *v});
        } else if (a == "--whole-file" || a == "--minus") {
            if (ops.empty()) return usageError(a + " follows the operation it belongs to");
            ops.back().push_back(a);
        } else if (a.rfind("--", 0) == 0) {
            ops.push_back({a});
        } else if (in.empty()) {
            in = a;
        } else {
            return usageError("process takes one IN");
        }
    }
    if (in.empty()) return usageError("process needs IN");

    if (!openImage(session, {in, OpenWay::Command, false}, platform).opened) {
        return failWith(platform);
    }
    FitsImage& image = session.image;
    ProcessingState& p = session.processing;
    bool ok = true;
    auto has = [](const Args& op, const char* flag) { return std::find(op.begin(), op.end(), flag) != op.end(); };
    for (const Args& op : ops) {
        const std::string& name = op[0];
        const std::pair<const char*, NoiseFilter> filters[] = {
            {"--hotcool", NoiseFilter::HotCool}, {"--3point", NoiseFilter::ThreePoint},
            {"--5point", NoiseFilter::FivePoint}, {"--shade-average", NoiseFilter::ShadeAverage},
            {"--shade-median", NoiseFilter::ShadeMedian}};
        bool known = false;
        for (const auto& [flag, filter] : filters)
            if (name == flag) {
                runNoiseFilter(filter, image, p.undo, platform);
                known = true;
            }
        if (known) continue;
        if (name == "--rotate") {
            rotateHalfTurn(image);
        } else if (name == "--fit5") {
            ok = fifthFunctionApproximation(image, p.undo, p.fit, session.state.lineRow, platform);
        } else if (name == "--limb") {
            ok = limbDarkening(image, p.undo, p.fit, session.state.lineRow, platform);
        } else if (name == "--bow") {
            ok = bowCorrection(image, p.undo, op[1], platform);
        } else if (name == "--add" || name == "--multiply") {
            calculate(image, p.undo, session.state, name == "--add" ? Calculation::Addition : Calculation::Multiplication,
                      leadingNumber(op[1]), has(op, "--whole-file"));
        } else if (name == "--incline-all") {
            compensateAllRows(image, p.undo, session.state.lineRow, {});
        } else if (name == "--incline-row") {
            const int row = toInt32Saturated(leadingNumber(op[1]));
            if (row < 0 || row >= image.naxis2) return usageError("--incline-row takes a row of the image");
            // The intensity-curve window's command: the line keeps its own
            // undo there, the image's undo copy is not taken.
            session.state.lineRow = row;
            SavedLine saved;
            compensateLine(image, row, saved);
        } else if (name == "--dark" || name == "--flat") {
            SingleCalibration c;
            c.kind = name == "--dark" ? CalibrationKind::Dark : CalibrationKind::Flat;
            c.path = op[1];
            c.minusUsed = has(op, "--minus");
            c.bzeroSign = session.state.bzeroSign;
            ok = calibrateImage(image, p.undo, p.calibration, c, platform);
        } else if (name == "--bin") {
            BinZones zones{};
            std::size_t k = 0;
            for (std::size_t at = 0; at <= op[1].size() && k < zones.size(); ++k) {
                const std::size_t colon = std::min(op[1].find(':', at), op[1].size());
                const std::string zone = op[1].substr(at, colon - at);
                const std::size_t comma = zone.find(',');
                if (comma == std::string::npos) return usageError("--bin takes U,L[:U,L...]");
                zones[k] = {toInt32Saturated(leadingNumber(zone.substr(0, comma))),
                            toInt32Saturated(leadingNumber(zone.substr(comma + 1)))};
                at = colon + 1;
                if (colon == op[1].size()) break;
            }
            ok = binImage(image, p.undo, zones, platform);
        } else if (name == "--undo") {
            if (p.undo.available()) p.undo.restore(image);
        } else {
            return usageError("unknown operation " + name);
        }
        if (!ok) break;
    }
    session.state.statistics = statisticsLine(image);
    if (ok && !out.empty()) ok = saveImage(session, {out, bitpix ? bitpix : savedBitpix(image)}, platform);
    printMessageLines(platform);
    if (ok && dump) dumpPlane(image);
    return ok ? 0 : 1;
}

int fit(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto row = takeOption(args, "--row");
    const auto degree = takeOption(args, "--degree");
    if (!row || !degree) return usageError("fit needs --row R and --degree K");
    const int r = toInt32Saturated(leadingNumber(*row));
    const int k = toInt32Saturated(leadingNumber(*degree));
    if (k < 2 || k > 5) return usageError("--degree takes 2, 3, 4 or 5");
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    if (args.size() != 1) return usageError("fit needs exactly one IN");
    ScriptedPlatform platform;
    if (!openImage(session, {args[0], OpenWay::Command, false}, platform).opened) {
        return failWith(platform);
    }
    if (r < 0 || r >= session.image.naxis2) return usageError("--row takes a row of the image");
    FitMatrix m{};
    if (!fitRow(session.image, r, k, m)) {
        std::cout << "MESSAGE " << kZeroPivotMessage << '\n';
        return 1;
    }
    std::cout << "COEF";
    for (int i = 0; i <= k; ++i) std::cout << ' ' << exactNumberText(m[static_cast<std::size_t>(i)][static_cast<std::size_t>(k + 1)]);
    std::cout << '\n';
    return 0;
}

}  // namespace lv::cli

namespace lv::cli {

int curve(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto row = takeOption(args, "--row");
    const auto name = takeOption(args, "--name");
    const auto wavelength = takeOption(args, "--wavelength");
    if (!row || !name || name->empty()) return usageError("curve needs --row R and --name NAME");
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    if (args.size() != 1) return usageError("curve needs exactly one IN");
    CurveFileSettings s;
    s.name = *name;
    if (wavelength) {
        const std::size_t comma = wavelength->find(',');
        if (comma == std::string::npos) return usageError("--wavelength takes START,END");
        s.wavelength = true;
        s.start = leadingNumber(wavelength->substr(0, comma));
        s.end = leadingNumber(wavelength->substr(comma + 1));
    }
    ScriptedPlatform platform;
    if (!openImage(session, {args[0], OpenWay::Command, false}, platform).opened) {
        return failWith(platform);
    }
    const int r = toInt32Saturated(leadingNumber(*row));
    if (r < 0 || r >= session.image.naxis2) return usageError("--row takes a row of the image");
    const bool saved = saveCurveFiles(session.image, r, s, platform);
    printMessageLines(platform);
    return saved ? 0 : 1;
}

}  // namespace lv::cli
