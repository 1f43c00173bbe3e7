// Image subcommands: info, header, dump, save, demo.
#include <algorithm>
#include <filesystem>
#include <iostream>

#include "app/image_commands.h"
#include "commands.h"
#include "core/conventions.h"
#include "core/demo_frames.h"
#include "core/platform.h"

namespace lv::cli {

bool takeFlag(Args& args, const std::string& flag)
{
    const auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

std::optional<std::string> takeOption(Args& args, const std::string& option)
{
    const auto it = std::find(args.begin(), args.end(), option);
    if (it == args.end()) return std::nullopt;
    if (it + 1 == args.end()) return std::string();
    std::string value = *(it + 1);
    args.erase(it, it + 2);
    return value;
}

int usageError(const std::string& text)
{
    std::cerr << "lumavist-cli: " << text << " (see lumavist-cli --help)\n";
    return 2;
}

namespace {

void printMessages(const ScriptedPlatform& platform)
{
    for (const std::string& m : platform.messageTexts()) std::cout << m << '\n';
}

// Reads the one file argument the way the options say. On rejection prints
// the messages the application would show and returns false.
bool readImage(Args& args, Session& session, const char* command, ScriptedPlatform& platform)
{
    const bool dialog = takeFlag(args, "--dialog");
    if (args.size() != 1) {
        usageError(std::string(command) + " needs exactly one FILE");
        return false;
    }
    const OpenWay way = dialog ? OpenWay::CommandAsDialog : OpenWay::Command;
    if (!openImage(session, {args[0], way, false}, platform).opened) {
        printMessages(platform);
        return false;
    }
    return true;
}

}  // namespace

int info(Args args, [[maybe_unused]] const Shared& shared)
{
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    ScriptedPlatform platform;
    if (!readImage(args, session, "info", platform)) return args.size() == 1 ? 1 : 2;
    const FitsImage& image = session.image;
    std::cout << session.state.statistics << '\n';
    std::cout << "BITPIX " << image.bitpix << " FLOAT " << (image.isFloat ? 1 : 0) << " NAXIS1 " << image.naxis1
              << " NAXIS2 " << image.naxis2 << " NAXIS3 " << image.naxis3 << " BZERO " << plainNumberText(image.bzero)
              << " BSCALE " << plainNumberText(image.bscale) << '\n';
    if (const long long blanks = image.blankCount(); blanks > 0) std::cout << "BLANK " << blanks << '\n';
    // Where in the file the image was, and how it was stored.
    if (image.hdu > 0) std::cout << "HDU " << image.hdu << '\n';
    if (!image.compression.empty()) std::cout << "COMPRESSED " << image.compression << '\n';
    // What the read had to say of the frame it opened.
    printMessageLines(platform);
    return 0;
}

int header(Args args, [[maybe_unused]] const Shared& shared)
{
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    ScriptedPlatform platform;
    if (!readImage(args, session, "header", platform)) return args.size() == 1 ? 1 : 2;
    for (const HeaderCard& card : session.image.cards) std::cout << card << '\n';
    return 0;
}

int dump(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto planeText = takeOption(args, "--plane");
    const int plane = planeText ? toInt32Saturated(leadingNumber(*planeText)) : 0;
    if (plane < 0 || plane > 2) return usageError("--plane must be 0, 1 or 2");
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    ScriptedPlatform platform;
    if (!readImage(args, session, "dump", platform)) return args.size() == 1 ? 1 : 2;
    const FitsImage& image = session.image;
    std::string line;
    for (int y = 0; y < image.naxis2; ++y) {
        line.clear();
        for (int x = 0; x < image.naxis1; ++x) {
            if (x) line.push_back(' ');
            // A plane that was not read dumps as 0s, as value() gives.
            const bool blank = plane < image.planes && image.isBlank(x, y, plane);
            line += blank ? std::string("blank") : plainNumberText(image.value(x, y, plane));
        }
        std::cout << line << '\n';
    }
    return 0;
}

int save(Args args, [[maybe_unused]] const Shared& shared)
{
    const auto bitpixText = takeOption(args, "--bitpix");
    if (!bitpixText) return usageError("save needs --bitpix 8|16|32");
    const int bitpix = toInt32Saturated(leadingNumber(*bitpixText));
    if (bitpix != 8 && bitpix != 16 && bitpix != 32) return usageError("--bitpix must be 8, 16 or 32");
    Session session;
    session.state.bzeroSign = shared.bzeroSign;
    if (args.size() != 2) return usageError("save needs IN and OUT");
    ScriptedPlatform platform;
    const bool done = openImage(session, {args[0], OpenWay::Command, false}, platform).opened &&
                      saveImage(session, {args[1], bitpix}, platform);
    printMessages(platform);
    return done ? 0 : 1;
}

int demo(Args args, [[maybe_unused]] const Shared& shared)
{
    if (args.size() != 1) return usageError("demo needs DIR");
    std::error_code ec;
    std::filesystem::create_directories(args[0], ec);
    if (ec) {
        std::cout << args[0] << ": the folder cannot be created (" << ec.message() << ")\n";
        return 1;
    }
    std::string error;
    if (!writeDemoRun(args[0], error)) {
        std::cout << error << '\n';
        return 1;
    }
    std::cout << "demo run written to " << args[0] << '\n';
    return 0;
}

}  // namespace lv::cli
