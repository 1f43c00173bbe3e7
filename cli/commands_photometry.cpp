// The photometry subcommand: the "Photometry" button on one frame.
#include <cmath>
#include <iostream>
#include <map>

#include "app/image_commands.h"
#include "commands.h"
#include "core/conventions.h"
#include "core/platform.h"
#include "photometry/photometry_run.h"
#include "photometry/positions.h"

namespace lv::cli {

namespace {

std::optional<PixelPosition> parsePosition(const std::string& text)
{
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) return std::nullopt;
    return PixelPosition{toInt32Saturated(leadingNumber(text.substr(0, comma))),
                         toInt32Saturated(leadingNumber(text.substr(comma + 1)))};
}

std::string trimmed(const std::string& s)
{
    const std::size_t a = s.find_first_not_of(' ');
    return a == std::string::npos ? std::string() : s.substr(a);
}

// The errors, signal-to-noise ratios, peaks, widths and flags of the stars,
// then the times and the airmass.
void printMeasurementScience(const PhotometryOutcome& out)
{
    static const char* const kNames[] = {"comparison", "variable", "check"};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto& q = out.quality[i];
        if (!q) continue;
        std::cout << "ERR " << kNames[i] << ' ' << fixedText(q->magnitudeError, 4) << '\n';
        std::cout << "SNR " << kNames[i] << ' ' << fixedText(q->snr, 1) << '\n';
        std::cout << "PEAK " << kNames[i] << ' ' << q->peak << '\n';
        if (q->fwhm) std::cout << "FWHM " << kNames[i] << ' ' << fixedText(*q->fwhm, 2) << '\n';
        if (q->saturated) std::cout << "FLAG " << kNames[i] << " saturated\n";
    }
    for (const EnsembleMember& e : out.ensemble) {
        std::cout << "ENSEMBLE " << e.number << ' ';
        if (e.used() && e.quality)
            std::cout << fixedText(e.quality->standardMagnitude(), 4) << ' ' << fixedText(e.quality->magnitudeError, 4);
        else
            std::cout << "left out";
        std::cout << '\n';
    }
    if (!out.ensemble.empty()) std::cout << "ENSEMBLE_N " << out.ensembleUsed() << '\n';
    if (const auto e = out.variableMinusComparisonError()) std::cout << "ERR V-C " << fixedText(*e, 4) << '\n';
    if (const auto e = out.comparisonMinusCheckError()) std::cout << "ERR C-K " << fixedText(*e, 4) << '\n';
    if (out.times.jdUtc) std::cout << "JD " << fixedText(*out.times.jdUtc, 6) << '\n';
    if (out.times.hjdUtc) std::cout << "HJD " << fixedText(*out.times.hjdUtc, 6) << '\n';
    if (out.times.bjdTdb) std::cout << "BJD_TDB " << fixedText(*out.times.bjdTdb, 6) << '\n';
    if (out.times.airmass) std::cout << "AIRMASS " << fixedText(*out.times.airmass, 4) << '\n';
}

}  // namespace

int takeMeasurementOptions(Args& args, Session& session, const std::string& command)
{
    PhotometryState& ph = session.photometry;
    PhotometrySettings& set = ph.settings;

    // Star positions: the sky goes 20 pixels to the right, as a right click does.
    const std::pair<const char*, int> stars[] = {{"--comp", kComparison}, {"--var", kVariable}, {"--check", kCheck}};
    for (const auto& [option, slot] : stars) {
        const auto text = takeOption(args, option);
        if (!text) return usageError(command + " needs " + option + " X,Y");
        const auto p = parsePosition(*text);
        if (!p) return usageError(std::string(option) + " takes X,Y");
        setStarPosition(ph, slot, *p);
    }
    // A repeated --comp adds the ensemble's comparison stars 2, 3, ...
    while (const auto text = takeOption(args, "--comp")) {
        const auto p = parsePosition(*text);
        if (!p) return usageError("--comp takes X,Y");
        if (!setEnsembleStar(ph, ph.comparisonCount + 1, *p))
            return usageError("at most " + std::to_string(kMaxComparisons) + " comparison stars (--comp) are measured");
    }
    const std::pair<const char*, int> skies[] = {{"--comp-sky", kComparisonSky}, {"--var-sky", kVariableSky},
                                                 {"--check-sky", kCheckSky}};
    for (const auto& [option, slot] : skies) {
        if (const auto text = takeOption(args, option)) {
            const auto p = parsePosition(*text);
            if (!p) return usageError(std::string(option) + " takes X,Y");
            setSkyPosition(ph, slot, *p);
        }
    }
    if (const auto v = takeOption(args, "--shape")) {
        if (*v == "circle") set.apertureShape = ApertureShape::Circle;
        else if (*v == "square") set.apertureShape = ApertureShape::Square;
        else return usageError("--shape takes circle or square");
    }
    // The aperture and the sky area go through the "Sky area set" window's checks.
    int size = set.apertureSize;
    double inner = set.skyInner;
    double outer = set.skyOuter;
    bool skyArea = false;
    if (const auto v = takeOption(args, "--size")) {
        size = toInt32Saturated(intFloor(leadingNumber(*v)));
        skyArea = true;
    }
    if (const auto v = takeOption(args, "--sky")) {
        if (*v == "median") set.skyMode = SkyMode::Median;
        else if (*v == "aperture") set.skyMode = SkyMode::Aperture;
        else return usageError("--sky takes median or aperture");
    }
    if (const auto v = takeOption(args, "--inner")) {
        inner = leadingNumber(*v);
        skyArea = true;
    }
    if (const auto v = takeOption(args, "--outer")) {
        outer = leadingNumber(*v);
        skyArea = true;
    }
    if (const auto v = takeOption(args, "--span")) set.searchSpan = toInt32Saturated(leadingNumber(*v));
    if (const auto v = takeOption(args, "--position")) {
        const std::map<std::string, PositionMode> modes = {
            {"fix", PositionMode::Fixed}, {"peak", PositionMode::PeakCast}, {"move", PositionMode::PeakCastAndMove}};
        const auto it = modes.find(*v);
        if (it == modes.end()) return usageError("--position takes fix, peak or move");
        set.positionMode = it->second;
    }
    if (takeFlag(args, "--real")) set.pixelArithmetic = PixelArithmetic::Real;
    if (const auto v = takeOption(args, "--digits")) {
        if (*v != "2" && *v != "3") return usageError("--digits takes 2 or 3");
        set.digits = *v == "2" ? 2 : 3;
    }
    if (const auto v = takeOption(args, "--star")) ph.comparison.starName = *v;
    if (const auto v = takeOption(args, "--comp-mag")) ph.comparison.comparisonMagnitude = leadingNumber(*v);
    if (const auto v = takeOption(args, "--filter")) {
        const std::map<std::string, int> filters = {{"B", 0}, {"V", 1}, {"R", 2}, {"I", 3}};
        const auto it = filters.find(*v);
        if (it == filters.end()) return usageError("--filter takes B, V, R or I");
        ph.comparison.filterIndex = it->second;
    }
    if (const auto v = takeOption(args, "--code")) ph.comparison.observerCode = *v;
    // The camera, the target and the site, as the "Target and Site" window holds them.
    CameraNoise& camera = ph.targetSite.camera;
    const std::pair<const char*, double*> cameraOptions[] = {
        {"--gain", &camera.gain}, {"--read-noise", &camera.readNoise}, {"--linearity", &camera.linearity}};
    for (const auto& [option, field] : cameraOptions)
        if (const auto v = takeOption(args, option)) {
            const double x = leadingNumber(*v);
            if (!(x >= 0) || (field == &camera.gain && x == 0)) return usageError(std::string(option) + " takes a positive number");
            *field = x;
        }
    const auto ra = takeOption(args, "--ra");
    const auto dec = takeOption(args, "--dec");
    if (ra || dec) {
        std::optional<double> a;
        if (ra) a = angleDegrees(*ra, true);
        std::optional<double> d;
        if (dec) d = angleDegrees(*dec, false);
        if (!a || !d || *a < 0 || *a >= 360 || *d < -90 || *d > 90)
            return usageError("--ra HH:MM:SS and --dec +DD:MM:SS go together");
        ph.targetSite.target = SkyPosition{*a, *d};
    }
    const auto lat = takeOption(args, "--lat");
    const auto lon = takeOption(args, "--lon");
    const auto height = takeOption(args, "--height");
    if (lat || lon || height) {
        std::optional<double> p;
        if (lat) p = angleDegrees(*lat, false);
        std::optional<double> l;
        if (lon) l = angleDegrees(*lon, false);
        if (!p || !l || std::fabs(*p) > 90 || std::fabs(*l) > 180)
            return usageError("--lat DEG and --lon DEG go together (--height M with them)");
        ph.targetSite.site = ObservingSite{*p, *l, height ? leadingNumber(*height) : 0.0};
    }
    if (skyArea) {
        switch (applySkyArea(set, size, inner, outer)) {
        case SkyAreaCheck::SizeError: std::cout << "MESSAGE " << kApertureSizeError << '\n'; return 1;
        case SkyAreaCheck::ApertureTooLarge: std::cout << "MESSAGE " << kApertureTooLarge << '\n'; return 1;
        case SkyAreaCheck::Stored: break;
        }
    }
    return 0;
}

int photometry(Args args, [[maybe_unused]] const Shared& shared)
{
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    if (const int usage = takeMeasurementOptions(args, session, "photometry")) return usage;
    if (args.size() != 1) return usageError("photometry needs exactly one FILE");
    PhotometryState& ph = session.photometry;

    ScriptedPlatform platform;
    if (!openImage(session, {args[0], OpenWay::Command, false}, platform).opened) {
        return failWith(platform);
    }
    const PhotometryOutcome out = runPhotometry(session.image, ph, false, platform);

    printMessageLines(platform);
    for (int s = 1; s <= kSlots; ++s) {
        const PixelPosition p = ph.fieldPosition(s);
        std::cout << "POS " << s << ' ' << p.x << ' ' << p.y << '\n';
    }
    for (int n = 2; n <= ph.comparisonCount; ++n) {
        const PixelPosition p = ph.fieldPosition(comparisonSlot(n));
        std::cout << "POS C" << n << ' ' << p.x << ' ' << p.y << '\n';
    }
    static const char* const kNames[] = {"comparison", "variable", "check"};
    for (std::size_t i = 0; i < 3; ++i) {
        std::cout << "MAG " << kNames[i] << ' '
                  << (out.magnitudes[i] ? trimmed(ph.magnitudeField(kStarSlots[i])) : std::string("--")) << '\n';
    }
    if (out.allMeasured) std::cout << "RESULT " << out.resultLine << '\n';
    if (out.reportLine) std::cout << "REPORT " << *out.reportLine << '\n';
    if (platform.clipboardWrites > 0) std::cout << "CLIPBOARD " << platform.clipboardText << '\n';
    printMeasurementScience(out);
    return out.allMeasured ? 0 : 1;
}

}  // namespace lv::cli
