// Light curves and reports: lightcurve, rewrite, report.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "commands.h"
#include "core/conventions.h"
#include "display/png_writer.h"
#include "lightcurve/minimum.h"
#include "lightcurve/night_rows.h"
#include "lightcurve/aavso.h"
#include "lightcurve/light_curve.h"
#include "lightcurve/report.h"

namespace lv::cli {

namespace {

// Reads MAGFILE (the one argument left) and applies --delete N,...; 0, or
// the exit status after a failure.
int loadTable(Args& args, const std::string& command, LightCurveTable& table, ScriptedPlatform& platform)
{
    const auto deletions = takeOption(args, "--delete");
    if (args.size() != 1) return usageError(command + " needs exactly one MAGFILE");
    const MagEstRead r = readMagEst(args[0], table);
    if (!r.opened) {
        platform.message(r.error);
        return failWith(platform);
    }
    if (!readsAsPhotometryData(table)) {
        platform.message(notPhotometryDataMessage(args[0]));
        return failWith(platform);
    }
    if (r.truncated) platform.message(args[0] + ": more than 3000 data lines; the first 3000 were read");
    // The night's table beside it gives the error bars and the saturated points.
    attachNightTable(table);
    if (deletions) {
        std::string list = *deletions;
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t comma = std::min(list.find(',', start), list.size());
            const std::string item = list.substr(start, comma - start);
            const int n = toInt32Saturated(leadingNumber(item));
            if (item.empty() || n < 1 || n > table.count())
                return usageError("--delete takes line numbers 1 ... " + std::to_string(table.count()));
            setDeleted(table, n - 1, true);
            start = comma + 1;
        }
    }
    return 0;
}

std::string withSuffix(const std::string& out, const char* suffix)
{
    const std::filesystem::path p(out);
    const std::filesystem::path ext = p.has_extension() ? p.extension() : std::filesystem::path(".png");
    return (p.parent_path() / (p.stem().string() + suffix + ext.string())).string();
}

}  // namespace

int lightcurve(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto png = takeOption(args, "--png");
    ScriptedPlatform platform;
    LightCurveTable table;
    if (const int status = loadTable(args, "lightcurve", table, platform)) return status;
    const LightCurveAxes axes = automaticAxes(table);
    printMessageLines(platform);
    for (const std::string& item : listTexts(table)) std::cout << "LIST " << item << '\n';
    std::cout << "ERROR " << formatPattern(photometryError(table), "#0.0000") << '\n';
    const AxisRanges& r = axes.ranges;
    std::cout << "AXES";
    for (double v : {r.hourStart, r.hourEnd, r.ckStart, r.ckEnd, r.vcStart, r.vcEnd, r.ckStep, r.vcStep})
        std::cout << ' ' << plainNumberText(v);
    std::cout << '\n';
    if (png) {
        if (png->empty()) return usageError("--png needs OUT");
        for (const auto& [graph, suffix] : {std::pair{Graph::CK, "-ck"}, std::pair{Graph::VC, "-vc"}}) {
            std::string error;
            const std::string path = withSuffix(*png, suffix);
            if (!writePng(path, renderGraph(drawGraph(table, axes, graph, kGraphWidth, kGraphHeight)), error)) {
                std::cout << "MESSAGE " << error << '\n';
                return 1;
            }
            std::cout << "PNG " << path << '\n';
        }
    }
    return 0;
}

int rewrite(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto comment = takeOption(args, "--comment");
    if (std::find(args.begin(), args.end(), "--delete") == args.end()) return usageError("rewrite needs --delete N,...");
    ScriptedPlatform platform;
    LightCurveTable table;
    if (const int status = loadTable(args, "rewrite", table, platform)) return status;
    if (comment) table.comment = *comment;
    const bool written = saveMagEst(table, platform);
    printMessageLines(platform);
    return written ? 0 : 1;
}

int report(Args args, [[maybe_unused]] const Shared& shared)
{
    const Args given = args;
    ReportFields f;
    const std::pair<const char*, std::string*> texts[] = {
        {"--star", &f.star}, {"--code", &f.code}, {"--colour", &f.colour},
        {"--observer", &f.observerPlace}, {"--instruments", &f.instruments}};
    for (const auto& [option, target] : texts)
        if (const auto v = takeOption(args, option)) *target = *v;
    const auto compMag = takeOption(args, "--comp-mag");
    for (const char* needed : {"--star", "--code", "--colour"})
        if (std::find(given.begin(), given.end(), needed) == given.end())
            return usageError(std::string("report needs ") + needed);
    if (!compMag) return usageError("report needs --comp-mag M");
    f.compMag = leadingNumber(*compMag);
    const std::string folder = takeOption(args, "--outdir").value_or(std::string());
    ScriptedPlatform platform;
    LightCurveTable table;
    if (const int status = loadTable(args, "report", table, platform)) return status;
    const bool written = writeReport(table, f, photometryError(table), folder, platform);
    printMessageLines(platform);
    return written ? 0 : 1;
}

int aavso(Args args, [[maybe_unused]] const Shared& shared)
{
    const Args given = args;
    AavsoSettings a;
    ReportFields& f = a.report;
    const std::pair<const char*, std::string*> texts[] = {{"--star", &f.star},   {"--code", &f.code},
                                                          {"--colour", &f.colour}, {"--cname", &a.comparisonName},
                                                          {"--kname", &a.checkName}, {"--chart", &a.chart},
                                                          {"--notes", &a.notes}};
    for (const auto& [option, target] : texts)
        if (const auto v = takeOption(args, option)) *target = *v;
    for (const char* needed : {"--star", "--code", "--colour", "--comp-mag"})
        if (std::find(given.begin(), given.end(), needed) == given.end())
            return usageError(std::string("aavso needs ") + needed);
    f.compMag = leadingNumber(takeOption(args, "--comp-mag").value_or("0"));
    if (const auto v = takeOption(args, "--ut-offset")) a.utOffsetHours = leadingNumber(*v);
    if (const auto v = takeOption(args, "--date")) {
        if (*v != "jd" && *v != "hjd") return usageError("--date takes jd or hjd");
        a.heliocentric = *v == "hjd";
    }
    const std::string out = takeOption(args, "--out").value_or("aavso.txt");
    ScriptedPlatform platform;
    LightCurveTable table;
    if (const int status = loadTable(args, "aavso", table, platform)) return status;
    const bool written = writeAavso(table, a, photometryError(table), out, platform);
    printMessageLines(platform);
    return written ? 0 : 1;
}

int minimum(Args args, [[maybe_unused]] const Shared& shared)
{
    auto number = [&](const char* option) -> std::optional<double> {
        const auto v = takeOption(args, option);
        return v ? std::optional<double>(leadingNumber(*v)) : std::nullopt;
    };
    const auto from = number("--from");
    const auto to = number("--to");
    const auto epoch = number("--epoch");
    const auto period = number("--period");
    std::vector<MinimumMethod> methods = {MinimumMethod::KweeVanWoerden, MinimumMethod::SymmetricPolynomial};
    if (const auto m = takeOption(args, "--method")) {
        if (*m != "kvw" && *m != "poly") return usageError("--method takes kvw or poly");
        methods = {*m == "kvw" ? MinimumMethod::KweeVanWoerden : MinimumMethod::SymmetricPolynomial};
    }
    if (epoch.has_value() != period.has_value() || (period && !(*period > 0)))
        return usageError("--epoch T0 and --period P (days, above 0) go together");
    if (args.size() != 1) return usageError("minimum needs exactly one TABLE");
    // The night's table when TABLE is one; otherwise a data file.
    TimedPoints points;
    if (const auto rows = readNightRows(args[0])) {
        points = pointsOfNightTable(*rows);
    } else {
        LightCurveTable table;
        ScriptedPlatform platform;
        if (const int status = loadTable(args, "minimum", table, platform)) return status;
        points = pointsOfDataFile(table);
    }
    int status = 0;
    for (const MinimumMethod method : methods) {
        const MinimumResult r = timeOfMinimum(points, method, from, to);
        if (!r.minimum) {
            std::cout << "MESSAGE " << methodName(method) << ": " << r.why << '\n';
            status = 1;
            continue;
        }
        std::cout << "MINIMUM " << methodName(method) << ' ' << fixedText(r.minimum->time, 6) << ' '
                  << fixedText(r.minimum->sigma, 7) << ' ' << points.scale << ' ' << r.minimum->points << '\n';
        if (epoch) std::cout << "OC " << fixedText(observedMinusCalculated(r.minimum->time, *epoch, *period), 6) << '\n';
    }
    return status;
}

}  // namespace lv::cli
