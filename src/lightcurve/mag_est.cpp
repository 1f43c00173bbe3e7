#include "lightcurve/mag_est.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>

#include "core/conventions.h"
#include "core/file_replace.h"

namespace lv {

namespace {

// The magnitude after the "=" at `eq`: from the second character after it
// (the writer's hundreds digit is not read) to the next space. A minus sign
// right after "=" belongs to the value and is read with it.
double magnitudeAfter(const std::string& line, std::size_t eq, std::size_t& end)
{
    const std::size_t from = eq + 1 < line.size() && line[eq + 1] == '-' ? eq + 1 : eq + 2;
    end = line.find(' ', from);
    if (from >= line.size()) {
        end = line.size();
        return 0.0;
    }
    const std::string value = line.substr(from, end == std::string::npos ? std::string::npos : end - from);
    if (end == std::string::npos) end = line.size();
    return leadingNumber(value);
}

}  // namespace

std::string magEstLine(const MagEstRecord& r, int digits)
{
    const char* pattern = digits == 2 ? "000.00" : "000.000";
    const char* varPattern = digits == 2 ? "000.00 " : "000.000 ";
    std::string line = r.date + " " + r.time + formatPattern(r.exposure, " 000");
    line += " Check=" + formatPattern(r.check, pattern);
    line += " Comp=" + formatPattern(r.comparison, pattern);
    line += " Var=" + formatPattern(r.variable, varPattern);
    line += r.framePath;
    line += kCrLf;
    return line;
}

bool appendMagEstLine(const std::string& path, const std::string& line, std::string& error)
{
    // The lines already there are never rewritten, and a line that could not
    // be written whole is cut off again, so the file holds whole lines only.
    return appendToFile(path, line, error);
}

bool emptyMagEst(const std::string& path, std::string& error) { return replaceFileWith(path, {}, error); }

std::string listTextOf(const std::string& numbered)
{
    int spaces = 0;
    for (std::size_t i = 1; i < numbered.size(); ++i)
        if (numbered[i] == ' ' && ++spaces == 8) return numbered.substr(0, i + 1);
    return numbered;
}

MagEstRead readMagEst(const std::string& path, LightCurveTable& table)
{
    MagEstRead result;
    std::string text;
    if (!readWholeFile(path, text)) {
        result.error = path + ": the file cannot be opened";
        return result;
    }
    result.opened = true;
    LightCurveTable t;
    t.path = path;

    auto addLine = [&](const std::string& line) {
        if (!line.empty() && line[0] == ';') {
            t.comment = line;
            return;
        }
        if (t.count() == LightCurveTable::kCapacity) {
            result.truncated = true;
            return;
        }
        const std::string numbered = formatPattern(t.count() + 1, " 0000 : ") + line;
        t.lines.push_back(numbered);
        double time = 0, k = 0, c = 0, v = 0;
        bool hasTime = false, hasK = false, hasC = false, hasV = false;
        // The space after the date, at or after the 9th character.
        const std::size_t p = numbered.find(' ', 8);
        if (p != std::string::npos) {
            auto two = [&](std::size_t at) { return at < numbered.size() ? leadingNumber(numbered.substr(at, 2)) : 0.0; };
            time = two(p + 1) + two(p + 4) / 60 + two(p + 7) / 3600;
            if (time < 12) time += 24;
            hasTime = true;
            // The three magnitudes, each after an "=" within the first 200 characters.
            std::size_t from = p + 19;
            double* values[] = {&k, &c, &v};
            bool* found[] = {&hasK, &hasC, &hasV};
            for (int m = 0; m < 3; ++m) {
                const std::size_t limit = std::min<std::size_t>(numbered.size(), 200);
                if (from >= limit) break;
                const std::size_t eq = numbered.find('=', from);
                if (eq == std::string::npos || eq >= limit) break;
                std::size_t end = 0;
                *values[m] = magnitudeAfter(numbered, eq, end);
                *found[m] = true;
                from = end;
            }
        }
        t.time.push_back(time);
        t.check.push_back(k);
        t.comp.push_back(c);
        t.var.push_back(v);
        t.hasTime.push_back(hasTime);
        t.hasCheck.push_back(hasK);
        t.hasComp.push_back(hasC);
        t.hasVar.push_back(hasV);
        auto range = [](double value, double& lo, double& hi) {
            lo = std::min(lo, value);
            hi = std::max(hi, value);
        };
        if (hasTime) range(time, t.minTime, t.maxTime);
        if (hasK) range(k, t.minK, t.maxK);
        if (hasC) range(c, t.minC, t.maxC);
        if (hasV) range(v, t.minV, t.maxV);
        if (hasC && hasK) range(c - k, t.minCK, t.maxCK);
        if (hasV && hasC) range(v - c, t.minVC, t.maxVC);
    };

    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        addLine(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) addLine(text.substr(start));
    table = std::move(t);
    return result;
}

bool readsAsPhotometryData(const LightCurveTable& table)
{
    if (table.count() == 0) return true;
    for (int i = 0; i < table.count(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (table.hasCheck[k] && table.hasComp[k] && table.hasVar[k]) return true;
    }
    return false;
}

std::string notPhotometryDataMessage(const std::string& path)
{
    return path + ": not a photometry data file (no line holds a time and the magnitudes Check=, Comp= and Var=)";
}

std::string magEstText(const LightCurveTable& table)
{
    std::string out;
    if (!table.comment.empty()) {
        if (table.comment[0] != ';') out += ';';
        out += table.comment;
        out += kCrLf;
    }
    for (int i = 0; i < table.count(); ++i) {
        if (table.deleted(i)) continue;
        out += table.lines[static_cast<std::size_t>(i)].substr(8);
        out += kCrLf;
    }
    return out;
}

bool saveMagEst(const LightCurveTable& table, Platform& platform)
{
    if (!platform.askOkCancel("Do you want to save a photometry data? " + table.path)) return false;
    std::string error;
    if (!replaceFileWith(table.path, magEstText(table), error)) {
        platform.error(error);
        return false;
    }
    return true;
}

}  // namespace lv
