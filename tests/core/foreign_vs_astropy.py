"""Frames astropy writes, read by lumavist-cli and compared with astropy's own reading.

Usage: foreign_vs_astropy.py LUMAVIST_CLI

Tile-compressed images of each algorithm astropy writes (integers of every
width and quantized floats), images in extensions, gzip files, and an empty
primary. Every value of `dump` must be astropy's value rounded halves to
even; `info` must name the extension and the compression.
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


def check(cli, path, expected, info_lines):
    code, out = run(cli, "dump", path)
    if code != 0:
        failures.append("%s: not read: %s" % (os.path.basename(path), out.strip()))
        return
    ours = np.array([[int(v) for v in line.split()] for line in out.strip().split("\n")])
    want = np.rint(np.asarray(expected, dtype=np.float64)).astype(np.int64)
    if ours.shape != want.shape or not np.array_equal(ours, want):
        bad = np.argwhere(ours != want)[:3] if ours.shape == want.shape else "shape %s" % (ours.shape,)
        failures.append("%s: values differ at %s" % (os.path.basename(path), bad))
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
