#!/usr/bin/env python3
# Peak memory of a long night: continuous dark calibration and then the
# unattended automatic photometry of a folder of full-size frames
# (3073 x 3073, 16-bit), for 100 and for 1000 frames. The peak resident
# size of each process is printed; it must not grow with the number of
# frames. The 1000 frames take 19 GB of disk for the time of the run.
#   run.py LUMAVIST_CLI [--counts 100,1000] [--dir DIR]
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from astropy.io import fits

SIDE = 3073


def peak_of(cmd):
    """Runs cmd; returns (seconds, peak resident size in MB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {' '.join(cmd)}")
    return elapsed, usage.ru_maxrss / 1024.0  # kB on Linux


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--counts", default="100,1000")
    ap.add_argument("--dir", default=os.environ.get("TMPDIR", "/var/tmp"))
    opts = ap.parse_args()
    cli = os.path.abspath(opts.cli)
    counts = sorted(int(c) for c in opts.counts.split(","))
    need = counts[-1] * (SIDE * SIDE * 2 + 5760) * 1.05
    if shutil.disk_usage(opts.dir).free < need:
        raise SystemExit(f"{opts.dir} has less than the {need / 1e9:.1f} GB the frames take")

    work = tempfile.mkdtemp(prefix="lumavist-memory-", dir=opts.dir)
    try:
        rng = np.random.default_rng(3073)
        y, x = np.mgrid[0:SIDE, 0:SIDE].astype(np.float32)
        sky = 1000 + rng.normal(0, 12, (SIDE, SIDE)).astype(np.float32)
        for sx, sy, peak in ((900, 1200, 9000), (1560, 1830, 6000), (2100, 840, 4000)):
            sky += peak * np.exp(-((x - sx) ** 2 + (y - sy) ** 2) / (2 * 1.6 ** 2))
        frame_path = os.path.join(work, "frame.fit")
        header = fits.Header()
        header["DATE-OBS"] = "2026-12-08T20:00:00"
        header["EXPTIME"] = 60.0
        fits.PrimaryHDU(np.clip(np.rint(sky), 0, 65535).astype(np.uint16), header=header).writeto(frame_path)
        fits.PrimaryHDU(np.full((SIDE, SIDE), 100, np.uint16)).writeto(os.path.join(work, "dark.fit"))
        folder = os.path.join(work, "night")
        os.makedirs(folder)
        have = 0
        print(f"frames of {SIDE} x {SIDE}, 16-bit; peak resident size of each process")
        print(f"{'frames':>7} {'dark':>22} {'automatic photometry':>26}")
        for count in counts:
            for i in range(have, count):
                shutil.copyfile(frame_path, os.path.join(folder, f"f{i + 1:05d}.fit"))
            have = count
            subprocess.run(["sync"], check=True)
            dark_s, dark_mb = peak_of([cli, "dark", folder, "--dark", os.path.join(work, "dark.fit"), "--sort"])
            auto_s, auto_mb = peak_of([cli, "auto", folder, "--comp", "901,1201", "--var", "1561,1831",
                                       "--check", "2101,841", "--sort"])
            print(f"{count:>7} {dark_mb:>9.0f} MB {dark_s:>8.1f} s {auto_mb:>13.0f} MB {auto_s:>8.1f} s", flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
