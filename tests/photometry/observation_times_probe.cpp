// Reads lines "JD_UTC RA DEC LAT LON HEIGHT" (degrees, metres) and prints
// "JD HJD BJD_TDB AIRMASS" for each, with "-" where a value is not given:
// the time scales and the airmass as the photometry reckons them, for the
// comparison with astropy.
#include <cstdio>
#include <iostream>
#include <string>

#include "core/conventions.h"
#include "photometry/observation_times.h"

int main()
{
    double jd = 0, ra = 0, dec = 0, lat = 0, lon = 0, height = 0;
    while (std::cin >> jd >> ra >> dec >> lat >> lon >> height) {
        const lv::ObservationTimes t =
            lv::observationTimes(jd, lv::SkyPosition{ra, dec}, lv::ObservingSite{lat, lon, height});
        auto text = [](const std::optional<double>& v, int decimals) {
            return v ? lv::fixedText(*v, decimals) : std::string("-");
        };
        std::cout << text(t.jdUtc, 8) << ' ' << text(t.hjdUtc, 8) << ' ' << text(t.bjdTdb, 8) << ' '
                  << text(t.airmass, 6) << '\n';
    }
    return 0;
}
