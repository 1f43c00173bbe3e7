/* The reference for opening a frame as a whole process: read the image with
   cfitsio into 32-bit integers and sum it. With "write", makes the two
   3073 x 3073 test frames (16-bit and BITPIX -32) instead. */
#include <fitsio.h>
#include <stdio.h>
#include <stdlib.h>

static int make(const char* path, int bitpix)
{
    fitsfile* f;
    int status = 0;
    long axes[2] = {3073, 3073};
    long n = axes[0] * axes[1];
    int* v = malloc(sizeof(int) * (size_t)n);
    if (!v) return 1;
    for (long i = 0; i < n; ++i) v[i] = (int)(1000 + (i * 7919) % 40000);
    remove(path);
    fits_create_file(&f, path, &status);
    fits_create_img(f, bitpix == 16 ? USHORT_IMG : FLOAT_IMG, 2, axes, &status);
    fits_write_img(f, TINT, 1, n, v, &status);
    fits_close_file(f, &status);
    free(v);
    if (status) fits_report_error(stderr, status);
    return status != 0;
}

int main(int argc, char** argv)
{
    if (argc == 4 && argv[1][0] == 'w') return make(argv[2], 16) || make(argv[3], -32);
    if (argc != 2) {
        fprintf(stderr, "usage: cfitsio_sum FILE | cfitsio_sum write FILE16 FILEFLOAT\n");
        return 2;
    }
    fitsfile* f;
    int status = 0, anynul = 0;
    long axes[2] = {0, 0};
    fits_open_file(&f, argv[1], READONLY, &status);
    fits_get_img_size(f, 2, axes, &status);
    long n = axes[0] * axes[1];
    int* v = malloc(sizeof(int) * (size_t)(n > 0 ? n : 1));
    fits_read_img(f, TINT, 1, n, NULL, v, &anynul, &status);
    fits_close_file(f, &status);
    long long sum = 0;
    for (long i = 0; i < n; ++i) sum += v[i];
    printf("%lld\n", sum);
    free(v);
    return status != 0;
}
