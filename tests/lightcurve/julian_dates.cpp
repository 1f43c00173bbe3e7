// Prints the report's Julian date for each "year month day hours minutes
// seconds" line on standard input (local time, 9 hours ahead of UT), for the
// comparison with astropy.
#include <cstdio>
#include <iostream>

#include "lightcurve/report.h"

int main()
{
    int year, month, day;
    double hours, minutes, seconds;
    while (std::cin >> year >> month >> day >> hours >> minutes >> seconds)
        std::printf("%.8f\n", lv::julianDate(year, month, day, hours, minutes, seconds));
    return std::cin.eof() ? 0 : 1;
}
