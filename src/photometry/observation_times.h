// The instant of a measurement in the frames of reference a period analysis
// and a network's database use (JD in UTC, heliocentric JD in UTC,
// barycentric JD in TDB after Eastman et al. 2010), and the airmass of the
// target, all at mid-exposure. The time scales and the Earth's position
// come from ERFA.
#pragma once

#include <optional>
#include <string>

#include "core/fits_image.h"
#include "core/settings.h"
#include "photometry/photometry_state.h"

namespace lv {

struct ObservationHeader;

// The mid-exposure instant as a Julian date in UTC: the header's date and
// time as the photometry run reads them (a dd/mm/yy year is 20yy, as the
// report line writes it), minus 9 hours for a JST time, plus half of
// EXPTIME. nullopt without a valid date and time.
std::optional<double> midExposureJd(const ObservationHeader& header);

// "HH MM SS.s", "HH:MM:SS", or decimal degrees (`hours` false: "+DD MM SS").
// A text with separators is sexagesimal in hours (`hours`) or degrees; a
// plain number is taken as degrees either way.
std::optional<double> angleDegrees(const std::string& text, bool hours);

// From the header: OBJCTRA/OBJCTDEC, or RA/DEC; nullopt when neither pair
// gives a valid position.
std::optional<SkyPosition> headerPosition(const FitsImage& image);
// SITELAT/SITELONG/SITEELEV, or LAT-OBS/LONG-OBS (with ALT-OBS); nullopt
// without a latitude and a longitude.
std::optional<ObservingSite> headerSite(const FitsImage& image);

// The camera, target and site the settings hold as typed; a text that is
// empty or not a valid value leaves the default (no position, no site).
TargetAndSite targetSiteOf(const AppSettings& settings);
// What is wrong with the texts as typed, or "" when each is empty or valid.
std::string targetSiteProblem(const AppSettings& settings);

struct ObservationTimes {
    std::optional<double> jdUtc;
    std::optional<double> hjdUtc;   // needs the target's position
    std::optional<double> bjdTdb;   // needs the target's position; the site when known
    std::optional<double> airmass;  // needs the position and the site; target above the horizon
};

ObservationTimes observationTimes(std::optional<double> jdUtc, const std::optional<SkyPosition>& target,
                                  const std::optional<ObservingSite>& site);

}  // namespace lv
