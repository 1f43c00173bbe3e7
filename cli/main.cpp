// lumavist-cli: the Lumavist engine without windows, for scripts, pipelines
// and tests. The commands and their help are in command_table.cpp.
#include <cstring>
#include <iostream>

#include "command_table.h"
#include "core/version.h"

int main(int argc, char** argv)
{
    using namespace lv::cli;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        (std::strcmp(argv[1], "help") == 0 && argc == 2)) {
        std::cout << helpText();
        return argc < 2 ? 2 : 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "lumavist-cli " << lv::kVersion << " (build " << lv::kBuildNumber << ")\n";
        return 0;
    }
    if (std::strcmp(argv[1], "help") == 0) {
        const CommandEntry* entry = findCommand(argv[2]);
        if (!entry || argc > 3) {
            std::cerr << "lumavist-cli: no command '" << argv[2] << "' (see lumavist-cli --help)\n";
            return 2;
        }
        std::cout << commandHelp(*entry);
        return 0;
    }
    const CommandEntry* entry = findCommand(argv[1]);
    if (!entry) {
        std::cerr << "lumavist-cli: unknown command '" << argv[1] << "' (see lumavist-cli --help)\n";
        return 2;
    }
    Args args(argv + 2, argv + argc);
    Shared shared;
    if ((entry->shared & kSigned) && takeFlag(args, "--signed")) shared.bzeroSign = -1;
    if (entry->shared & kSort) shared.sort = takeFlag(args, "--sort");
    if (entry->shared & kAnyFits) shared.anyFits = takeFlag(args, "--any-fits");
    return entry->run(std::move(args), shared);
}
