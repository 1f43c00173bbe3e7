// Prints Julian dates for the comparison with astropy, one a line.
//   julian_dates            "year month day hours minutes seconds" of local
//                           time (9 hours ahead of UT): the report's dates
//   julian_dates --aavso    "year month day hours minutes seconds exposure
//                           offset": the AAVSO export's mid-exposure UT date
//                           of a data line with that date, time and exposure
#include <cstdio>
#include <cstring>
#include <iostream>

#include "core/conventions.h"
#include "lightcurve/aavso.h"
#include "lightcurve/report.h"

int main(int argc, char** argv)
{
    const bool aavso = argc > 1 && std::strcmp(argv[1], "--aavso") == 0;
    int year, month, day;
    double hours, minutes, seconds;
    while (std::cin >> year >> month >> day >> hours >> minutes >> seconds) {
        if (!aavso) {
            std::printf("%.8f\n", lv::julianDate(year, month, day, hours, minutes, seconds));
            continue;
        }
        double exposure, offset;
        if (!(std::cin >> exposure >> offset)) return 1;
        const std::string line = " 0001 : " + lv::formatPattern(year, "0000") + "-" + lv::formatPattern(month, "00") +
                                 "-" + lv::formatPattern(day, "00") + " " + lv::formatPattern(hours, "00") + ":" +
                                 lv::formatPattern(minutes, "00") + ":" + lv::formatPattern(seconds, "00") +
                                 lv::formatPattern(exposure, " 000") + " Check=011.000 Comp=010.000 Var=012.000 x.fit";
        const auto jd = lv::aavsoJulianDate(line, offset);
        if (!jd) return 1;
        std::printf("%.8f\n", *jd);
    }
    return std::cin.eof() ? 0 : 1;
}
