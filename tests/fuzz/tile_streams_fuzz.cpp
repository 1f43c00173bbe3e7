// The compressed-tile checks against cfitsio's decoders: whatever stream a
// check lets through, cfitsio decodes it without a read or a write outside
// the tile. cfitsio is not built with the sanitizers, so its input and output
// end at an inaccessible page, where a stray access faults.
// Input: byte 0 the coder (Rice of 1, 2 or 4 bytes, PLIO, HCOMPRESS for
// 16-bit or 32-bit images), bytes 1 and 2 the tile's width and height - 1,
// then the stream.
#include <fitsio.h>

#include <cstdint>
#include <cstring>

#include "core/fits_tiles.h"
#include "fenced.h"

extern "C" {
int fits_rdecomp(unsigned char* c, int clen, unsigned int array[], int nx, int nblock);
int fits_rdecomp_short(unsigned char* c, int clen, unsigned short array[], int nx, int nblock);
int fits_rdecomp_byte(unsigned char* c, int clen, unsigned char array[], int nx, int nblock);
int pl_l2pi(short* ll_src, int xs, int* px_dst, int npix);
}

using test::Fenced;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const int coder = data[0] % 6;
    const int width = data[1] + 1;
    const int height = data[2] + 1;
    const int pixels = width * height;
    const std::uint8_t* stream = data + 3;
    // A PLIO list is of 16-bit words, kept aligned.
    const std::size_t length = data[0] % 6 == 3 ? (size - 3) / 2 * 2 : size - 3;
    if (length == 0) return 0;
    Fenced in(length, coder == 3 && (data[1] & 1));
    std::memcpy(in.as<unsigned char>(), stream, length);
    switch (coder) {
        case 0: case 1: case 2: {
            const int bytePix = coder == 0 ? 1 : coder == 1 ? 2 : 4;
            if (!lv::riceStreamFits(stream, length, bytePix, 32, pixels)) return 0;
            Fenced out(static_cast<std::size_t>(pixels) * static_cast<std::size_t>(bytePix));
            if (bytePix == 1)
                fits_rdecomp_byte(in.as<unsigned char>(), static_cast<int>(length), out.as<unsigned char>(), pixels, 32);
            else if (bytePix == 2)
                fits_rdecomp_short(in.as<unsigned char>(), static_cast<int>(length), out.as<unsigned short>(), pixels, 32);
            else
                fits_rdecomp(in.as<unsigned char>(), static_cast<int>(length), out.as<unsigned int>(), pixels, 32);
            // Our own decoding of the same stream gives cfitsio's values.
            if (bytePix == 2) {
                Fenced ours(static_cast<std::size_t>(pixels) * 2);
                if (!lv::riceDecode(stream, length, 32, pixels, ours.as<std::uint16_t>())) std::abort();
                if (std::memcmp(ours.as<unsigned char>(), out.as<unsigned char>(), static_cast<std::size_t>(pixels) * 2) != 0)
                    std::abort();
            }
            break;
        }
        case 3: {
            const std::size_t words = length / 2;
            if (!lv::plioListFits(in.as<std::int16_t>(), words, pixels)) return 0;
            Fenced out(static_cast<std::size_t>(pixels) * 4);
            pl_l2pi(in.as<short>(), 1, out.as<int>(), pixels);
            break;
        }
        default: {
            const bool wide = coder == 5;
            if (!lv::hcompressStreamFits(stream, length, pixels, wide)) return 0;
            int nx = 0;
            int ny = 0;
            int scale = 0;
            int status = 0;
            if (wide) {
                Fenced out(static_cast<std::size_t>(pixels) * sizeof(LONGLONG));
                fits_hdecompress64(in.as<unsigned char>(), 0, out.as<LONGLONG>(), &nx, &ny, &scale, &status);
            } else {
                Fenced out(static_cast<std::size_t>(pixels) * sizeof(int));
                fits_hdecompress(in.as<unsigned char>(), 0, out.as<int>(), &nx, &ny, &scale, &status);
            }
            fits_clear_errmsg();
            break;
        }
    }
    return 0;
}
