// Runs lumavist-cli as a script would and collects its standard output.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace lv::test {

struct CliRun {
    std::string out;
    int status = -1;
};

inline CliRun cli(const std::string& args)
{
    CliRun r;
    FILE* p = popen((std::string(LUMAVIST_CLI) + " " + args + " 2>/dev/null").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// A shell-quoted argument.
inline std::string q(const std::string& s) { return "'" + s + "'"; }

}  // namespace lv::test
