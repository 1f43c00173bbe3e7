// The table of lumavist-cli's commands.
#pragma once

#include <string>
#include <vector>

#include "commands.h"

namespace lv::cli {

// Options a command shares with others, parsed once before it runs.
enum SharedOption : unsigned { kSigned = 1, kSort = 2, kAnyFits = 4 };

struct CommandEntry {
    const char* name;
    const char* synopsis;  // its usage line, as --help shows it
    const char* help;      // what it does, as --help shows it under the synopsis
    // --help writes the help after this synopsis (commands that share one
    // help, dark and flat, have it after the last of them).
    bool helpFollows;
    int blankLinesAfter;   // in --help
    unsigned shared;       // SharedOption bits
    int (*run)(Args args, const Shared& shared);
};

const std::vector<CommandEntry>& commandTable();
const CommandEntry* findCommand(const std::string& name);
// "--help": the whole table.
std::string helpText();
// "help COMMAND": the command's synopsis and help.
std::string commandHelp(const CommandEntry& entry);

}  // namespace lv::cli
