#!/usr/bin/env python3
# A synthetic night for the folder-job comparisons: 16-bit frames as a CCD
# camera writes them (unsigned, BZERO 32768), a sky with read noise, three
# stars at fixed places, a dark and a flat of each size.
#   make_night.py DIR [SMALL_FRAMES] [LARGE_FRAMES]
# writes DIR/small/ (1024 x 1024) and DIR/large/ (3072 x 3072), each with
# frames/, dark.fit and flat.fit, and DIR/stars.txt (x y of comparison,
# variable and check, 1-based as the programs take them).
import os
import sys

import numpy as np
from astropy.io import fits

root = sys.argv[1]
counts = {"small": int(sys.argv[2]) if len(sys.argv) > 2 else 100,
          "large": int(sys.argv[3]) if len(sys.argv) > 3 else 10}
sizes = {"small": 1024, "large": 3072}
rng = np.random.default_rng(20261208)
# (x, y, peak ADU) of comparison, variable, check in a 1024 frame; scaled for the large one.
stars = [(300.0, 400.0, 9000.0), (520.0, 610.0, 6000.0), (700.0, 280.0, 4000.0)]


def star_field(n, scale, peak_factor):
    y, x = np.mgrid[0:n, 0:n].astype(np.float32)
    img = np.zeros((n, n), np.float32)
    for sx, sy, peak in stars:
        cx, cy = sx * scale - 1, sy * scale - 1
        box = slice(max(0, int(cy) - 15), int(cy) + 16), slice(max(0, int(cx) - 15), int(cx) + 16)
        img[box] += peak * peak_factor * np.exp(-((x[box] - cx) ** 2 + (y[box] - cy) ** 2) / (2 * 1.6 ** 2))
    return img


def write(path, data, header=None):
    hdu = fits.PrimaryHDU(np.clip(np.rint(data), 0, 65535).astype(np.uint16), header=header)
    hdu.writeto(path, overwrite=True)


os.makedirs(root, exist_ok=True)
with open(os.path.join(root, "stars.txt"), "w") as f:
    for sx, sy, _ in stars:
        f.write(f"{sx:.0f} {sy:.0f}\n")

for name, n in sizes.items():
    scale = n / 1024
    folder = os.path.join(root, name)
    os.makedirs(os.path.join(folder, "frames"), exist_ok=True)
    dark = 100 + rng.normal(0, 3, (n, n)).astype(np.float32)
    yy, xx = np.mgrid[0:n, 0:n].astype(np.float32) / n - 0.5
    flat = 20000 * (1 - 0.3 * (xx ** 2 + yy ** 2)) + rng.normal(0, 40, (n, n)).astype(np.float32)
    write(os.path.join(folder, "dark.fit"), dark)
    write(os.path.join(folder, "flat.fit"), flat)
    field = star_field(n, scale, 1.0)
    for i in range(counts[name]):
        variation = 1.0 + 0.3 * np.sin(i / 7.0)
        sky = 1000 + dark + rng.normal(0, 12, (n, n)).astype(np.float32)
        frame = sky + field
        # the variable (the second star) changes from frame to frame
        sx, sy, peak = stars[1]
        cx, cy = int(sx * scale - 1), int(sy * scale - 1)
        frame[cy - 15:cy + 16, cx - 15:cx + 16] += field[cy - 15:cy + 16, cx - 15:cx + 16] * (variation - 1)
        header = fits.Header()
        minutes = 20 * 60 + i * 2
        header["DATE-OBS"] = f"2026-12-08T{minutes // 60:02d}:{minutes % 60:02d}:00"
        header["EXPTIME"] = 60.0
        write(os.path.join(folder, "frames", f"f{i + 1:04d}.fit"), frame * (flat / 20000), header)
