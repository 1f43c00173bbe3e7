#include "photometry/night_table.h"

#include <array>

#include "core/conventions.h"
#include "core/file_replace.h"

namespace lv {

static_assert(kMaxComparisons == kEnsembleColumns, "one column for each comparison star");

std::string measurementFlags(const PhotometryOutcome& out)
{
    static const char* const kLetters[] = {"c", "v", "k"};
    std::string flags;
    auto add = [&](const std::string& f) { flags += (flags.empty() ? "" : ";") + f; };
    // In the table's order of stars: variable, comparison, check.
    for (std::size_t i : {1u, 0u, 2u})
        if (out.quality[i] && out.quality[i]->saturated) add(std::string("saturated_") + kLetters[i]);
    if (out.times.jdUtc && !out.times.hjdUtc) add("no_position");
    if (!out.times.jdUtc) add("no_time");
    if (out.times.hjdUtc && !out.times.airmass) add("no_airmass");
    for (std::size_t i : {1u, 0u, 2u})
        if (out.quality[i] && !out.quality[i]->fwhm) add(std::string("no_fwhm_") + kLetters[i]);
    for (const EnsembleMember& e : out.ensemble)
        if (!e.used()) add("left_out_c" + plainNumberText(e.number));
    return flags;
}

std::string nightTableRow(const std::string& frame, const PhotometryOutcome& out, bool ensembleColumns)
{
    auto value = [](const std::optional<double>& v, int decimals) { return v ? fixedText(*v, decimals) : std::string(); };
    // A frame name holding the separator or a quote is quoted, as CSV readers expect.
    std::string name = frame;
    if (name.find_first_of(",\"\r\n") != std::string::npos) {
        std::string quoted = "\"";
        for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        name = quoted + "\"";
    }
    std::string row = name;
    auto cell = [&](const std::string& text) { row += "," + text; };
    cell(value(out.times.jdUtc, 6));
    cell(value(out.times.hjdUtc, 6));
    cell(value(out.times.bjdTdb, 6));
    cell(value(out.times.airmass, 4));
    const auto& c = out.quality[0];
    const auto& v = out.quality[1];
    const auto& k = out.quality[2];
    auto magnitude = [](const std::optional<StarQuality>& q) {
        return q ? std::optional<double>(q->standardMagnitude()) : std::nullopt;
    };
    auto error = [](const std::optional<StarQuality>& q) {
        return q ? std::optional<double>(q->magnitudeError) : std::nullopt;
    };
    for (const auto* q : {&v, &c, &k}) {
        cell(value(magnitude(*q), 4));
        cell(value(error(*q), 4));
    }
    cell(v && c ? fixedText(v->standardMagnitude() - c->standardMagnitude(), 4) : "");
    cell(value(out.variableMinusComparisonError(), 4));
    cell(c && k ? fixedText(c->standardMagnitude() - k->standardMagnitude(), 4) : "");
    cell(value(out.comparisonMinusCheckError(), 4));
    for (const auto* q : {&v, &c, &k}) cell(*q ? fixedText((*q)->snr, 1) : "");
    for (const auto* q : {&v, &c, &k}) cell(*q ? plainNumberText(static_cast<std::int64_t>((*q)->peak)) : "");
    for (const auto* q : {&v, &c, &k}) cell(*q ? value((*q)->fwhm, 2) : "");
    for (const auto* q : {&v, &c, &k}) cell(*q ? fixedText((*q)->skyDeviation, 2) : "");
    cell(measurementFlags(out));
    if (ensembleColumns) {
        // A frame measured with the comparison star alone has no ensemble_n.
        std::array<std::optional<double>, kMaxComparisons> own{};
        if (out.ensemble.empty()) own[0] = magnitude(c);
        for (const EnsembleMember& e : out.ensemble)
            if (e.used() && e.quality && e.number >= 1 && e.number <= kMaxComparisons)
                own[static_cast<std::size_t>(e.number - 1)] = e.quality->standardMagnitude();
        cell(out.ensemble.empty() ? std::string() : plainNumberText(out.ensembleUsed()));
        for (const auto& m : own) cell(value(m, 4));
    }
    row += kCrLf;
    return row;
}

bool emptyNightTable(const std::string& path, std::string& error, bool ensembleColumns)
{
    return replaceFileWith(path,
                           std::string(ensembleColumns ? nightTableEnsembleHeader() : kNightTableHeader) +
                               std::string(kCrLf),
                           error);
}

bool appendNightTableRow(const std::string& path, const std::string& row, std::string& error)
{
    return appendToFile(path, row, error);
}

}  // namespace lv
