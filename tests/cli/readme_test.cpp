// The README's lumavist-cli reference against lumavist-cli --help, so that
// the two never drift apart: the same subcommands, and every option the
// README's synopsis gives a subcommand is one --help gives it too.
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "cli_runner.h"

namespace lv {
namespace {

using Options = std::map<std::string, std::set<std::string>>;

std::set<std::string> optionsIn(const std::string& text)
{
    std::set<std::string> out;
    const std::regex option("--[a-z][a-z0-9-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        out.insert(it->str());
    return out;
}

// The README's synopsis block: lines "lumavist-cli COMMAND ...".
Options readmeSynopsis()
{
    std::ifstream in(LUMAVIST_README);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t block = text.find("## lumavist-cli");
    EXPECT_NE(block, std::string::npos);
    const std::size_t open = text.find("```", block);
    const std::size_t close = text.find("```", open + 3);
    std::istringstream lines(text.substr(open + 3, close - open - 3));
    Options out;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("lumavist-cli ", 0) != 0) continue;
        std::istringstream words(line.substr(13));
        std::string command;
        words >> command;
        out[command] = optionsIn(line);
    }
    return out;
}

// --help: a command starts a line indented by two spaces; its options follow
// until the next command.
Options helpCommands(const std::string& help)
{
    Options out;
    std::string current;
    std::istringstream lines(help);
    const std::regex commandLine("^  ([a-z]+) .*|^  ([a-z]+)$");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, commandLine)) current = m[1].matched ? m[1].str() : m[2].str();
        if (!current.empty()) {
            const auto found = optionsIn(line);
            out[current].insert(found.begin(), found.end());
        }
    }
    return out;
}

TEST(Readme, ReferenceMatchesTheHelp)
{
    const test::CliRun help = test::cli("--help");
    ASSERT_EQ(help.status, 0);
    const Options readme = readmeSynopsis();
    const Options commands = helpCommands(help.out);
    ASSERT_GE(readme.size(), 15u);
    std::set<std::string> readmeNames, helpNames;
    for (const auto& [name, options] : readme) readmeNames.insert(name);
    for (const auto& [name, options] : commands) helpNames.insert(name);
    EXPECT_EQ(readmeNames, helpNames);
    for (const auto& [name, options] : readme) {
        const auto it = commands.find(name);
        if (it == commands.end()) continue;
        for (const std::string& o : options)
            EXPECT_TRUE(it->second.count(o)) << name << " " << o << " is in the README but not in --help";
    }
}

}  // namespace
}  // namespace lv
