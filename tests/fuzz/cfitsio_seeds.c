/* Seed frames written by cfitsio, an independent writer: every BITPIX we
 * read, BZERO/BSCALE, three planes, and frames of more than 65536 values
 * (the reader decodes in chunks of that many).
 *   cfitsio_seeds OUTDIR [TILEDIR]   (TILEDIR: single tile streams for tile_streams) */
#include <fitsio.h>
#include <fitsio2.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

static int write_frame(const char* dir, const char* name, int bitpix, long w, long h, long planes, double bzero,
                       double bscale)
{
    char path[4096];
    fitsfile* f;
    int status = 0;
    long naxes[3] = {w, h, planes};
    long n = w * h * planes;
    double* v = malloc(sizeof(double) * (size_t)n);
    snprintf(path, sizeof path, "!%s/%s", dir, name);
    fits_create_file(&f, path, &status);
    fits_create_img(f, bitpix, planes > 1 ? 3 : 2, naxes, &status);
    if (bscale != 1.0 || bzero != 0.0) {
        fits_write_key(f, TDOUBLE, "BZERO", &bzero, "", &status);
        fits_write_key(f, TDOUBLE, "BSCALE", &bscale, "", &status);
    }
    fits_write_key(f, TSTRING, "DATE-OBS", "2018-02-15T12:30:45", "", &status);
    {
        double exposure = 30;
        fits_write_key(f, TDOUBLE, "EXPTIME", &exposure, "", &status);
    }
    for (long i = 0; i < n; ++i) {
        /* A ramp with a bright spot, inside every type's range once scaled. */
        const double x = (double)(i % w), y = (double)((i / w) % h);
        const double spot = 200.0 * exp(-((x - w / 2.0) * (x - w / 2.0) + (y - h / 3.0) * (y - h / 3.0)) / 8.0);
        v[i] = bitpix == BYTE_IMG ? fmod(x + y + spot, 250.0) : 100.0 + 7.0 * x + 3.0 * y + spot - (bitpix < 0 ? 0.5 : 0);
    }
    fits_write_img(f, TDOUBLE, 1, n, v, &status);
    fits_close_file(f, &status);
    free(v);
    if (status) fits_report_error(stderr, status);
    return status;
}

/* A frame after an empty primary: as an image extension, or tile-compressed
 * with `algorithm` (0: not compressed). */
static int write_extension(const char* dir, const char* name, int bitpix, long w, long h, int algorithm)
{
    char path[4096];
    fitsfile* f;
    int status = 0;
    long naxes[2] = {w, h};
    long n = w * h;
    double* v = malloc(sizeof(double) * (size_t)n);
    snprintf(path, sizeof path, "!%s/%s", dir, name);
    fits_create_file(&f, path, &status);
    fits_create_img(f, BYTE_IMG, 0, NULL, &status);
    fits_write_key(f, TSTRING, "DATE-OBS", "2018-02-15", "", &status);
    if (algorithm) fits_set_compression_type(f, algorithm, &status);
    fits_create_img(f, bitpix, 2, naxes, &status);
    {
        double exposure = 60;
        fits_write_key(f, TDOUBLE, "EXPTIME", &exposure, "", &status);
    }
    for (long i = 0; i < n; ++i) v[i] = (double)((i * 37) % 200) + (bitpix < 0 ? 0.25 : 0);
    /* cfitsio writes compressed images only from values of their own type. */
    {
        void* data = malloc(8 * (size_t)n);
        int type = TDOUBLE;
        for (long i = 0; i < n; ++i) {
            switch (bitpix) {
                case BYTE_IMG: ((unsigned char*)data)[i] = (unsigned char)v[i]; type = TBYTE; break;
                case SHORT_IMG: ((short*)data)[i] = (short)v[i]; type = TSHORT; break;
                case USHORT_IMG: ((unsigned short*)data)[i] = (unsigned short)v[i]; type = TUSHORT; break;
                case LONG_IMG: ((int*)data)[i] = (int)v[i]; type = TINT; break;
                case FLOAT_IMG: ((float*)data)[i] = (float)v[i]; type = TFLOAT; break;
                default: ((double*)data)[i] = v[i]; break;
            }
        }
        fits_write_img(f, type, 1, n, data, &status);
        free(data);
    }
    fits_close_file(f, &status);
    free(v);
    if (status) fits_report_error(stderr, status);
    return status;
}

/* One compressed tile of a small star field, as the tile_streams target
   takes it: the coder, the width and height - 1, then cfitsio's stream. */
static int write_tile(const char* dir, const char* name, int coder, int w, int h)
{
    char path[4096];
    int n = w * h;
    int* v = malloc(sizeof(int) * (size_t)n);
    unsigned char* out = malloc((size_t)n * 16 + 1024);
    long length = 0;
    int status = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int d2 = (x - w / 3) * (x - w / 3) + (y - h / 2) * (y - h / 2);
            v[y * w + x] = 900 + (x * 7 + y * 13) % 23 + (d2 < 9 ? 20000 / (1 + d2) : 0);
        }
    if (coder <= 2) {
        if (coder == 0) {
            signed char* b = malloc((size_t)n);
            for (int i = 0; i < n; ++i) b[i] = (signed char)(v[i] / 200);
            length = fits_rcomp_byte(b, n, out, n * 16 + 1024, 32);
            free(b);
        } else if (coder == 1) {
            short* b = malloc(sizeof(short) * (size_t)n);
            for (int i = 0; i < n; ++i) b[i] = (short)v[i];
            length = fits_rcomp_short(b, n, out, n * 16 + 1024, 32);
            free(b);
        } else {
            for (int i = 0; i < n; ++i) v[i] *= 3000;
            length = fits_rcomp(v, n, out, n * 16 + 1024, 32);
        }
    } else if (coder == 3) {
        for (int i = 0; i < n; ++i) v[i] = v[i] > 2000 ? 3 : (i % 17 == 0);
        length = 2L * pl_p2li(v, 1, (short*)out, n);
    } else {
        length = (long)n * 16 + 1024;
        if (coder == 5) {
            LONGLONG* b = malloc(sizeof(LONGLONG) * (size_t)n);
            for (int i = 0; i < n; ++i) b[i] = (LONGLONG)v[i] * 4000;
            fits_hcompress64(b, w, h, 0, (char*)out, &length, &status);
            free(b);
        } else {
            fits_hcompress(v, w, h, 0, (char*)out, &length, &status);
        }
    }
    if (status == 0 && length > 0) {
        unsigned char head[3] = {(unsigned char)coder, (unsigned char)(w - 1), (unsigned char)(h - 1)};
        FILE* f;
        snprintf(path, sizeof path, "%s/%s", dir, name);
        f = fopen(path, "wb");
        if (!f) status = 1;
        else {
            fwrite(head, 1, 3, f);
            fwrite(out, 1, (size_t)length, f);
            fclose(f);
        }
    } else {
        status = 1;
    }
    free(v);
    free(out);
    return status;
}

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: cfitsio_seeds OUTDIR [TILEDIR]\n");
        return 2;
    }
    const char* d = argv[1];
    int s = 0;
    if (argc == 3) {
        s |= write_tile(argv[2], "rice8", 0, 40, 3);
        s |= write_tile(argv[2], "rice16", 1, 64, 2);
        s |= write_tile(argv[2], "rice32", 2, 33, 4);
        s |= write_tile(argv[2], "plio", 3, 64, 1);
        s |= write_tile(argv[2], "hcompress16", 4, 24, 16);
        s |= write_tile(argv[2], "hcompress32", 5, 13, 9);
    }
    s |= write_frame(d, "byte.fit", BYTE_IMG, 17, 11, 1, 0, 1);
    s |= write_frame(d, "short.fit", SHORT_IMG, 17, 11, 1, 0, 1);
    s |= write_frame(d, "ushort.fit", USHORT_IMG, 17, 11, 1, 0, 1);
    s |= write_frame(d, "long.fit", LONG_IMG, 17, 11, 1, 0, 1);
    s |= write_frame(d, "float.fit", FLOAT_IMG, 17, 11, 1, 0, 1);
    s |= write_frame(d, "scaled.fit", SHORT_IMG, 9, 7, 1, 100.0, 0.5);
    s |= write_frame(d, "byte3.fit", BYTE_IMG, 8, 6, 3, 0, 1);
    s |= write_frame(d, "ushort3.fit", USHORT_IMG, 8, 6, 3, 0, 1);
    s |= write_frame(d, "float3.fit", FLOAT_IMG, 8, 6, 3, 0, 1);
    s |= write_frame(d, "double.fit", DOUBLE_IMG, 17, 11, 1, 0, 1);
    s |= write_frame(d, "double3.fit", DOUBLE_IMG, 8, 6, 3, 0, 1);
    s |= write_frame(d, "longlong.fit", LONGLONG_IMG, 17, 11, 1, 0, 1);
    s |= write_extension(d, "extension.fits", SHORT_IMG, 13, 9, 0);
    s |= write_extension(d, "rice.fits.fz", USHORT_IMG, 13, 9, RICE_1);
    s |= write_extension(d, "gzip1.fits.fz", LONG_IMG, 13, 9, GZIP_1);
    s |= write_extension(d, "gzip2.fits.fz", SHORT_IMG, 13, 9, GZIP_2);
    s |= write_extension(d, "hcompress.fits.fz", SHORT_IMG, 16, 16, HCOMPRESS_1);
    s |= write_extension(d, "plio.fits.fz", SHORT_IMG, 13, 9, PLIO_1);
    s |= write_extension(d, "quantized.fits.fz", FLOAT_IMG, 13, 9, RICE_1);
    /* Just over one chunk, small enough for the fuzzer's input limit. */
    s |= write_frame(d, "byte_chunks.fit", BYTE_IMG, 257, 256, 1, 0, 1);
    s |= write_frame(d, "ushort_chunks.fit", USHORT_IMG, 257, 256, 1, 0, 1);
    return s ? 1 : 0;
}
