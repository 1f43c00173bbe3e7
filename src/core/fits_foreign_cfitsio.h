// What the two halves of the cfitsio path share (fits_foreign.cpp opens the
// file and finds the image, fits_foreign_values.cpp reads its values).
#pragma once

#include <fitsio.h>

#include <string>

// cfitsio's raw byte access, which its public header does not declare.
extern "C" {
int ffmbyt(fitsfile* fptr, LONGLONG bytepos, int err_mode, int* status);
int ffgbyt(fitsfile* fptr, LONGLONG nbytes, void* buffer, int* status);
}

#if LV_CFITSIO_ON_DEMAND
// Where libraries are shared, cfitsio is loaded the first time a frame
// needs it: linked from the start, it brings a network and cryptography
// stack that costs every start of the program some 12 ms, and most nights
// hold only plain frames. The calls below go through the loaded library.
namespace lv::foreign {

struct CfitsioCalls {
    decltype(&ffgerr) getErrStatus;
    decltype(&ffcmsg) clearErrMsg;
    decltype(&fffree) freeMemory;
    decltype(&ffghadll) getHduAddr;
    decltype(&ffclos) closeFile;
    decltype(&ffdkopn) openDiskFile;
    decltype(&ffgidm) getImgDim;
    decltype(&ffhdr2str) hdr2str;
    decltype(&fits_is_compressed_image) isCompressedImage;
    decltype(&ffmahd) movAbsHdu;
    decltype(&ffmrhd) movRelHdu;
    decltype(&ffgcv) readCol;
    decltype(&ffgdesll) readDescript;
    decltype(&ffgpv) readImg;
    decltype(&ffgpf) readImgNull;
    decltype(&ffgky) readKey;
    decltype(&ffpscl) setBscale;
    decltype(&ffmbyt) moveByte;
    decltype(&ffgbyt) getBytes;
};

// The loaded library's calls, or nullptr with `why` saying why it could not
// be loaded (then no frame that needs it can be read).
const CfitsioCalls* loadCfitsio(std::string& why);
// Once loadCfitsio succeeded.
const CfitsioCalls& cfitsio();

}  // namespace lv::foreign

#undef fits_get_errstatus
#undef fits_clear_errmsg
#undef fits_free_memory
#undef fits_get_hduaddrll
#undef fits_close_file
#undef fits_open_diskfile
#undef fits_get_img_dim
#undef fits_hdr2str
#undef fits_movabs_hdu
#undef fits_movrel_hdu
#undef fits_read_col
#undef fits_read_descriptll
#undef fits_read_img
#undef fits_read_imgnull
#undef fits_read_key
#undef fits_set_bscale
#define fits_get_errstatus lv::foreign::cfitsio().getErrStatus
#define fits_clear_errmsg lv::foreign::cfitsio().clearErrMsg
#define fits_free_memory lv::foreign::cfitsio().freeMemory
#define fits_get_hduaddrll lv::foreign::cfitsio().getHduAddr
#define fits_close_file lv::foreign::cfitsio().closeFile
#define fits_open_diskfile lv::foreign::cfitsio().openDiskFile
#define fits_get_img_dim lv::foreign::cfitsio().getImgDim
#define fits_hdr2str lv::foreign::cfitsio().hdr2str
#define fits_is_compressed_image lv::foreign::cfitsio().isCompressedImage
#define fits_movabs_hdu lv::foreign::cfitsio().movAbsHdu
#define fits_movrel_hdu lv::foreign::cfitsio().movRelHdu
#define fits_read_col lv::foreign::cfitsio().readCol
#define fits_read_descriptll lv::foreign::cfitsio().readDescript
#define fits_read_img lv::foreign::cfitsio().readImg
#define fits_read_imgnull lv::foreign::cfitsio().readImgNull
#define fits_read_key lv::foreign::cfitsio().readKey
#define fits_set_bscale lv::foreign::cfitsio().setBscale
#define ffmbyt lv::foreign::cfitsio().moveByte
#define ffgbyt lv::foreign::cfitsio().getBytes
#endif

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
