// What the two halves of the cfitsio path share (fits_foreign.cpp opens the
// file and finds the image, fits_foreign_values.cpp reads its values).
#pragma once

#include <fitsio.h>

#include <string>

namespace lv::foreign {

inline fitsfile* asFits(void* f) { return static_cast<fitsfile*>(f); }

// cfitsio's own words for a status, and its message stack emptied so that a
// later call does not report an earlier failure.
inline std::string cfitsioText(int status)
{
    char text[FLEN_STATUS] = {};
    fits_get_errstatus(status, text);
    fits_clear_errmsg();
    return std::string(text);
}

}  // namespace lv::foreign
