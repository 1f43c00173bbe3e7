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

int info(const Args& args);
int header(const Args& args);
int dump(const Args& args);
int save(const Args& args);
int demo(const Args& args);
int photometry(const Args& args);
int automatic(const Args& args);
int dark(const Args& args);
int flat(const Args& args);
int calibrate(const Args& args);
int lightcurve(const Args& args);
int rewrite(const Args& args);
int report(const Args& args);
int aavso(const Args& args);
int process(const Args& args);
int fit(const Args& args);
int curve(const Args& args);
int composite(const Args& args);
int bzero(const Args& args);

// Argument helpers shared by the subcommands.
bool takeFlag(Args& args, const std::string& flag);
std::optional<std::string> takeOption(Args& args, const std::string& option);
// Reports a usage error on stderr and returns the usage exit status (2).
int usageError(const std::string& text);
// Every message and question shown so far, as "MESSAGE <text>" lines.
void printMessageLines(const ScriptedPlatform& platform);
// The measurement options of "photometry" (positions, aperture, sky, peak
// search, digits, report data) into the session; 0, 2 after a usage error,
// or 1 when the sky-area checks refused the aperture (the message printed).
int takeMeasurementOptions(Args& args, Session& session, const std::string& command);

}  // namespace lv::cli
