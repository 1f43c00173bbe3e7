"""Frames astropy writes, read by lumavist-cli and compared with astropy's own reading.

Usage: foreign_vs_astropy.py LUMAVIST_CLI

Tile-compressed images of each algorithm astropy writes (integers of every
width and quantized floats), images in extensions, gzip files, and an empty
primary, and frames with blank pixels. Every value of `dump` must be
astropy's value rounded halves to even, and blank exactly where astropy has
NaN or an infinity (or the BLANK value); `info` must name the extension, the
compression and the number of blanks. Frames with blanks saved again by
lumavist-cli must read in astropy with NaN exactly there.
"""
import gzip
import os
import subprocess
import sys
import tempfile

try:
    import numpy as np
    from astropy.io import fits
except ImportError as e:  # a missing reference must not pass as agreement
    sys.exit("astropy cannot be imported (%s): install python3-astropy for this test" % e)

W, H = 53, 37
rng = np.random.default_rng(20)


def frame(low, high, dtype):
    """A sloping sky with noise, its two ends included."""
    y, x = np.mgrid[0:H, 0:W]
    sky = low + (high - low) * (0.2 + 0.6 * (x + y) / (W + H))
    sky = sky + rng.normal(0, min((high - low) / 400, 30), sky.shape)
    sky = np.clip(sky, low, high)
    sky.flat[0], sky.flat[1] = low, high
    return sky.astype(dtype) if np.dtype(dtype).kind == "f" else np.floor(sky).astype(dtype)


def run(cli, *args):
    r = subprocess.run([cli, *args], capture_output=True, text=True)
    return r.returncode, r.stdout


failures = []


def check(cli, path, expected, info_lines, blank=None):
    """`expected` may hold NaN and infinities: those pixels must dump as blank,
    as must those where `blank` (a mask) is set."""
    code, out = run(cli, "dump", path)
    if code != 0:
        failures.append("%s: not read: %s" % (os.path.basename(path), out.strip()))
        return
    rows = [line.split() for line in out.strip().split("\n")]
    ours_blank = np.array([[v == "blank" for v in row] for row in rows])
    ours = np.array([[0 if v == "blank" else int(v) for v in row] for row in rows])
    values = np.asarray(expected, dtype=np.float64)
    want_blank = ~np.isfinite(values) if blank is None else (np.asarray(blank) | ~np.isfinite(values))
    want = np.where(want_blank, 0, np.rint(np.where(np.isfinite(values), values, 0))).astype(np.int64)
    if ours.shape != want.shape or not np.array_equal(ours, want) or not np.array_equal(ours_blank, want_blank):
        bad = np.argwhere((ours != want) | (ours_blank != want_blank))[:3] if ours.shape == want.shape else "shape %s" % (ours.shape,)
        failures.append("%s: values differ at %s" % (os.path.basename(path), bad))
    n_blank = int(want_blank.sum())
    if n_blank:
        info_lines = list(info_lines) + ["BLANK %d" % n_blank]
    _, info = run(cli, "info", path)
    for line in info_lines:
        if line not in info.split("\n"):
            failures.append("%s: info lacks %r:\n%s" % (os.path.basename(path), line, info))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as d:
        types = [("u8", 0, 255, np.uint8), ("i16", 0, 30000, np.int16), ("u16", 0, 65535, np.uint16),
                 ("i32", 0, 2**31 - 1, np.int32), ("f32", -500, 60000, np.float32)]
        for algorithm in ("RICE_1", "GZIP_1", "GZIP_2", "HCOMPRESS_1"):
            for name, low, high, dtype in types:
                path = os.path.join(d, "%s_%s.fits.fz" % (algorithm, name))
                data = frame(low, high, dtype)
                fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(data, compression_type=algorithm)]).writeto(path)
                with fits.open(path) as f:
                    check(cli, path, f[1].data, ["HDU 1", "COMPRESSED " + algorithm])

        # Image extensions: doubles as a Python pipeline writes them, and scaled integers.
        path = os.path.join(d, "double.fits")
        fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(frame(0, 50000, np.float64))]).writeto(path)
        with fits.open(path) as f:
            check(cli, path, f[1].data, ["HDU 1", "BITPIX 64 FLOAT 1 NAXIS1 %d NAXIS2 %d NAXIS3 -1 BZERO 0 BSCALE 1" % (W, H)])
        path = os.path.join(d, "scaled.fits")
        hdu = fits.ImageHDU(frame(0, 20000, np.int16))
        hdu.header["BSCALE"], hdu.header["BZERO"] = 2, 100
        fits.HDUList([fits.PrimaryHDU(), fits.BinTableHDU.from_columns([fits.Column("a", "J", array=[1])]), hdu]).writeto(path)
        with fits.open(path, do_not_scale_image_data=True) as f:
            check(cli, path, f[2].data.astype(np.float64) * 2 + 100, ["HDU 2"])

        # gzip files of a plain frame and of a compressed one.
        plain = os.path.join(d, "plain.fit")
        fits.PrimaryHDU(frame(0, 65535, np.uint16)).writeto(plain)
        with open(plain, "rb") as f, gzip.open(plain + ".gz", "wb") as g:
            g.write(f.read())
        with fits.open(plain) as f:
            check(cli, plain + ".gz", f[0].data, ["COMPRESSED gzip"])
        rice = os.path.join(d, "RICE_1_u16.fits.fz")
        with open(rice, "rb") as f, gzip.open(rice + ".gz", "wb") as g:
            g.write(f.read())
        with fits.open(rice) as f:
            check(cli, rice + ".gz", f[1].data, ["HDU 1", "COMPRESSED RICE_1"])

        # Blank pixels: NaN and infinities of float frames (plain, in an
        # extension, tile-compressed, where ZBLANK marks them), the BLANK value
        # of integer frames (compared raw, before BZERO).
        edges = frame(-500, 60000, np.float32)
        edges[:3, :], edges[:, -2:] = np.nan, np.nan
        edges[10, 10], edges[11, 12] = np.inf, -np.inf
        path = os.path.join(d, "nan_edges.fits")
        fits.PrimaryHDU(edges).writeto(path)
        check(cli, path, edges, [])
        path = os.path.join(d, "nan_double.fits")
        fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(edges.astype(np.float64))]).writeto(path)
        check(cli, path, edges, ["HDU 1"])
        # Losslessly compressed floats keep their NaN. (astropy's quantizing
        # writer loses NaN in tiles that also hold values: it reads them back
        # itself as -5e9. The quantized case, ZBLANK, is written by cfitsio in
        # the reader's own tests.)
        nan_only = np.where(np.isinf(edges), np.nan, edges).astype(np.float32)
        path = os.path.join(d, "nan_GZIP_2.fits.fz")
        fits.HDUList([fits.PrimaryHDU(), fits.CompImageHDU(nan_only, compression_type="GZIP_2",
                                                            quantize_level=0.0)]).writeto(path)
        with fits.open(path) as f:
            check(cli, path, f[1].data, ["HDU 1", "COMPRESSED GZIP_2"])
        counts = frame(0, 60000, np.uint16)
        counts[5, :7] = 0
        counts[20, 30] = 0
        path = os.path.join(d, "blank_u16.fits")
        hdu = fits.PrimaryHDU(counts)
        hdu.header["BLANK"] = -32768  # raw -32768 is 0 after BZERO 32768
        hdu.writeto(path)
        with fits.open(path, do_not_scale_image_data=True) as f:
            raw = f[0].data.astype(np.int64)
            check(cli, path, raw + 32768, [], blank=raw == -32768)
        small = frame(0, 20000, np.int16)
        small[7, 3:9] = -999
        path = os.path.join(d, "blank_RICE_1_i16.fits.fz")
        hdu = fits.CompImageHDU(small, compression_type="RICE_1")
        hdu.header["BLANK"] = -999
        fits.HDUList([fits.PrimaryHDU(), hdu]).writeto(path)
        check(cli, path, small, ["HDU 1", "COMPRESSED RICE_1"], blank=small == -999)

        # Saved again by Lumavist, the blanks are what astropy reads as NaN.
        for bitpix in (16, 32):
            out = os.path.join(d, "saved%d.fit" % bitpix)
            code, text = run(cli, "save", os.path.join(d, "nan_edges.fits"), out, "--bitpix", str(bitpix))
            if code != 0:
                failures.append("save %d: %s" % (bitpix, text))
                continue
            # Raw values and the BLANK record as astropy reads them (its
            # unsigned 16-bit reading would not apply BLANK).
            with fits.open(out, do_not_scale_image_data=True) as f:
                raw = f[0].data.astype(np.int64)
                blank_value, bzero = f[0].header.get("BLANK"), f[0].header.get("BZERO", 0)
            back = np.where(raw == blank_value, np.nan, raw + bzero)
            want = np.where(np.isfinite(edges), np.clip(np.rint(np.where(np.isfinite(edges), edges, 0)), 0, None), np.nan)
            if blank_value is None or not np.array_equal(np.isnan(back), np.isnan(want)) or \
                    not np.array_equal(back[~np.isnan(back)], want[~np.isnan(want)]):
                failures.append("saved%d.fit: astropy reads other blanks or values (BLANK %s)" % (bitpix, blank_value))

        # An empty primary with nothing after it is refused, saying why.
        empty = os.path.join(d, "empty.fits")
        fits.PrimaryHDU().writeto(empty)
        code, out = run(cli, "info", empty)
        if code != 1 or "the file holds no image" not in out:
            failures.append("empty primary: %d %s" % (code, out))

    if failures:
        sys.exit("\n".join(failures))
    print("every frame astropy wrote reads as astropy reads it")


if __name__ == "__main__":
    main()
