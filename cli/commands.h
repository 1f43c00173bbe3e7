// Subcommands of lumavist-cli: one function each, taking the arguments after
// the subcommand name and returning the exit status.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/session.h"
#include "core/platform.h"

namespace lv::cli {

using Args = std::vector<std::string>;

// What several commands take alike, parsed once before the command runs.
struct Shared {
    int bzeroSign = 1;  // --signed: -1, "Non Sign Integer" unticked
    bool sort = false;  // --sort: the folder's list sorted
    bool anyFits = false;  // --any-fits: .fits, .fz and .gz names listed too
};

int info(Args args, const Shared& shared);
int header(Args args, const Shared& shared);
int dump(Args args, const Shared& shared);
int save(Args args, const Shared& shared);
int demo(Args args, const Shared& shared);
int photometry(Args args, const Shared& shared);
int automatic(Args args, const Shared& shared);
int dark(Args args, const Shared& shared);
int flat(Args args, const Shared& shared);
int calibrate(Args args, const Shared& shared);
int lightcurve(Args args, const Shared& shared);
int rewrite(Args args, const Shared& shared);
int report(Args args, const Shared& shared);
int aavso(Args args, const Shared& shared);
int minimum(Args args, const Shared& shared);
int process(Args args, const Shared& shared);
int fit(Args args, const Shared& shared);
int curve(Args args, const Shared& shared);
int composite(Args args, const Shared& shared);
int bzero(Args args, const Shared& shared);

// Argument helpers shared by the subcommands.
bool takeFlag(Args& args, const std::string& flag);
std::optional<std::string> takeOption(Args& args, const std::string& option);
// Reports a usage error on stderr and returns the usage exit status (2).
int usageError(const std::string& text);
// Every message and question shown so far, as "MESSAGE <text>" lines.
void printMessageLines(const ScriptedPlatform& platform);
// The way a command fails: its messages printed, exit status 1.
int failWith(const ScriptedPlatform& platform);
// The measurement options of "photometry" (positions, aperture, sky, peak
// search, digits, report data) into the session; 0, 2 after a usage error,
// or 1 when the sky-area checks refused the aperture (the message printed).
int takeMeasurementOptions(Args& args, Session& session, const std::string& command);

}  // namespace lv::cli
