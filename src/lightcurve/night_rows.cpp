#include "lightcurve/night_rows.h"

#include <cmath>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>

#include "core/conventions.h"
#include "core/file_replace.h"

namespace lv {

namespace {

// The fields of one CSV line; a field in quotes may hold commas and doubled quotes.
std::vector<std::string> fieldsOf(const std::string& line)
{
    std::vector<std::string> out(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                out.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                out.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    return out;
}

std::optional<double> number(const std::string& text)
{
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return v;
}

}  // namespace

std::string nightTableEnsembleHeader()
{
    std::string header = std::string(kNightTableHeader) + ",ensemble_n";
    for (int k = 1; k <= kEnsembleColumns; ++k) header += ",c" + std::to_string(k) + "_mag";
    return header;
}

std::string nightTablePath(const std::string& magEstPath)
{
    const std::filesystem::path folder = std::filesystem::path(magEstPath).parent_path();
    return folder.empty() ? std::string(kNightTableName) : joinPath(folder.string(), kNightTableName);
}

std::optional<std::vector<NightRow>> readNightRows(const std::string& path)
{
    std::string text;
    if (!readWholeFile(path, text)) return std::nullopt;
    std::vector<NightRow> rows;
    std::size_t at = 0;
    bool header = true;
    bool ensemble = false;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (header) {
            if (line == nightTableEnsembleHeader())
                ensemble = true;
            else if (line != kNightTableHeader)
                return std::nullopt;
            header = false;
            continue;
        }
        const std::vector<std::string> f = fieldsOf(line);
        if (f.size() != (ensemble ? 29u + kEnsembleColumns : 28u)) continue;  // a row cut short is passed over
        NightRow r;
        r.frame = f[0];
        r.jdUtc = number(f[1]);
        r.hjdUtc = number(f[2]);
        r.bjdTdb = number(f[3]);
        r.airmass = number(f[4]);
        r.vMinusC = number(f[11]);
        r.vMinusCError = number(f[12]);
        r.cMinusK = number(f[13]);
        r.cMinusKError = number(f[14]);
        r.flags = f[27];
        if (ensemble) {
            if (const auto n = number(f[28]); n && *n >= 1 && *n <= kEnsembleColumns && *n == std::floor(*n))
                r.ensembleN = static_cast<int>(*n);
            for (std::size_t k = 0; k < r.comparisonMagnitudes.size(); ++k) r.comparisonMagnitudes[k] = number(f[29 + k]);
        }
        rows.push_back(std::move(r));
    }
    if (header) return std::nullopt;
    return rows;
}

std::string frameNameOfLine(const std::string& line)
{
    // The path is the last field, after "Var=<value> ".
    const std::size_t var = line.find("Var=");
    if (var == std::string::npos) return {};
    const std::size_t space = line.find(' ', var);
    if (space == std::string::npos) return {};
    std::string path = line.substr(space + 1);
    while (!path.empty() && (path.back() == '\r' || path.back() == '\n')) path.pop_back();
    const std::size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::vector<const NightRow*> rowsOfLines(const LightCurveTable& table, const std::vector<NightRow>& rows)
{
    std::map<std::string, std::deque<const NightRow*>> byName;
    for (const NightRow& r : rows) byName[r.frame].push_back(&r);
    std::vector<const NightRow*> out;
    for (const std::string& line : table.lines) {
        auto it = byName.find(frameNameOfLine(line));
        if (it == byName.end() || it->second.empty()) {
            out.push_back(nullptr);
            continue;
        }
        out.push_back(it->second.front());
        it->second.pop_front();
    }
    return out;
}

std::vector<ComparisonScatter> comparisonScatter(const LightCurveTable& table, const std::vector<NightRow>& rows)
{
    std::array<std::vector<double>, kEnsembleColumns> differences;
    bool ensemble = false;
    const std::vector<const NightRow*> ofLines = rowsOfLines(table, rows);
    for (std::size_t i = 0; i < ofLines.size(); ++i) {
        const NightRow* row = ofLines[i];
        if (!row || !row->ensembleN || table.deleted(static_cast<int>(i))) continue;
        ensemble = true;
        const auto& m = row->comparisonMagnitudes;
        for (std::size_t j = 0; j < m.size(); ++j) {
            if (!m[j]) continue;
            double flux = 0;
            int others = 0;
            for (std::size_t k = 0; k < m.size(); ++k)
                if (k != j && m[k]) {
                    flux += std::pow(10.0, (20.0 - *m[k]) / 2.5);
                    ++others;
                }
            if (others > 0) differences[j].push_back(*m[j] - (20.0 - 2.5 * std::log10(flux / others)));
        }
    }
    std::vector<ComparisonScatter> out;
    if (!ensemble) return out;
    for (std::size_t j = 0; j < differences.size(); ++j) {
        const std::vector<double>& d = differences[j];
        if (d.empty()) continue;
        ComparisonScatter s;
        s.number = static_cast<int>(j) + 1;
        s.frames = static_cast<int>(d.size());
        if (d.size() >= 2) {
            double mean = 0;
            for (double x : d) mean += x / static_cast<double>(d.size());
            double sq = 0;
            for (double x : d) sq += (x - mean) * (x - mean);
            s.deviation = std::sqrt(sq / static_cast<double>(d.size() - 1));
        }
        out.push_back(s);
    }
    return out;
}

std::string comparisonScatterText(const ComparisonScatter& s)
{
    return "C" + plainNumberText(s.number) + "  sd " + (s.deviation ? fixedText(*s.deviation, 4) : std::string("--")) +
           "  (" + plainNumberText(s.frames) + (s.frames == 1 ? " frame)" : " frames)");
}

bool attachNightTable(LightCurveTable& table)
{
    table.vcError.clear();
    table.saturated.clear();
    const auto rows = readNightRows(nightTablePath(table.path));
    if (!rows) return false;
    // The table's errors are on the standard scale; the graph's V - C on the file's.
    for (const NightRow* r : rowsOfLines(table, *rows)) {
        table.vcError.push_back(r && r->vMinusCError ? *r->vMinusCError / kStandardScale : -1.0);
        table.saturated.push_back(r && r->saturated());
    }
    return true;
}

}  // namespace lv
