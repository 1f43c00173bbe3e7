// The night's table, photometry.csv beside mag_est.txt: one row per frame
// the automatic run keeps, with the times, the airmass and, for each star,
// its standard magnitude, error, SNR, peak, width and sky scatter.
#pragma once

#include <string>

#include "lightcurve/night_rows.h"
#include "photometry/photometry_run.h"

namespace lv {

// The flags of a measurement, ';'-separated: saturated_v, saturated_c,
// saturated_k, no_position (no HJD/BJD), no_site (no airmass), no_fwhm_v, ...,
// and with an ensemble left_out_c2 ... for each comparison star not used.
std::string measurementFlags(const PhotometryOutcome& out);

// One row (with CR LF) for a frame every star of which was measured.
// Magnitudes on the standard scale (20 - 2.5 log10 F), JDs with 6 decimals,
// magnitudes and errors with 4; a value that cannot be had is left empty.
// With `ensembleColumns`, the row goes on with the number of comparison
// stars used and each one's magnitude (empty when unused or left out).
std::string nightTableRow(const std::string& frame, const PhotometryOutcome& out, bool ensembleColumns = false);

// Empties the table to its header row (with the ensemble's columns when
// asked); appends one row in one write.
bool emptyNightTable(const std::string& path, std::string& error, bool ensembleColumns = false);
bool appendNightTableRow(const std::string& path, const std::string& row, std::string& error);

}  // namespace lv
