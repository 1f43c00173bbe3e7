// The night's table (photometry.csv) as the light-curve side reads it: the
// rows the automatic run wrote beside mag_est.txt, for the error bars, the
// saturated points and the AAVSO records' own errors and airmasses.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "lightcurve/mag_est.h"

namespace lv {

inline constexpr const char* kNightTableName = "photometry.csv";
inline constexpr const char* kNightTableHeader =
    "frame,jd_utc,hjd_utc,bjd_tdb,airmass,v_mag,v_err,c_mag,c_err,k_mag,k_err,v_minus_c,v_minus_c_err,"
    "c_minus_k,c_minus_k_err,snr_v,snr_c,snr_k,peak_v,peak_c,peak_k,fwhm_v,fwhm_c,fwhm_k,sky_sd_v,sky_sd_c,"
    "sky_sd_k,flags";

// The header of a night measured with an ensemble of comparison stars: the
// columns above, then ensemble_n (the stars used) and c1_mag ... c10_mag.
inline constexpr int kEnsembleColumns = 10;
std::string nightTableEnsembleHeader();

// The table beside a mag_est.txt (same folder).
std::string nightTablePath(const std::string& magEstPath);

struct NightRow {
    std::string frame;
    std::optional<double> jdUtc, hjdUtc, bjdTdb, airmass;
    std::optional<double> vMinusC, vMinusCError, cMinusK, cMinusKError;
    std::string flags;
    // With an ensemble: the stars used, and each one's standard magnitude.
    std::optional<int> ensembleN;
    std::array<std::optional<double>, kEnsembleColumns> comparisonMagnitudes{};
    bool saturated() const { return flags.find("saturated_") != std::string::npos; }
};

// The rows of a table; nullopt when there is none or its header is not ours.
std::optional<std::vector<NightRow>> readNightRows(const std::string& path);

// The frame's file name of a numbered mag_est.txt line (after its last separator).
std::string frameNameOfLine(const std::string& numberedLine);

// For each line of the light curve, its row (by frame name, in order), or
// null where the table has none.
std::vector<const NightRow*> rowsOfLines(const LightCurveTable& table, const std::vector<NightRow>& rows);

// For a night measured with an ensemble: each comparison star's magnitude
// against the mean flux of the others on the same frame, over the kept
// lines; its sample standard deviation shows a variable or badly placed
// comparison star at once. Empty when the rows have no ensemble.
struct ComparisonScatter {
    int number = 0;                   // 1 ... 10
    int frames = 0;                   // frames with the star and at least one other
    std::optional<double> deviation;  // from two frames on
};
std::vector<ComparisonScatter> comparisonScatter(const LightCurveTable& table, const std::vector<NightRow>& rows);
// "C2  sd 0.0042  (30 frames)", "C5  sd --  (1 frame)".
std::string comparisonScatterText(const ComparisonScatter& scatter);

// Reads the night's table beside the table's file into its vcError and
// saturated lists; false (lists emptied) when there is none.
bool attachNightTable(LightCurveTable& table);

}  // namespace lv
