"""lumavist-cli fit against numpy.polyfit (an SVD least-squares solver, not
the normal equations the CLI solves), degrees 2..5, on integer rows of 12, 40
and 300 pixels: uniform noise, a smooth curve with noise, a slope with a spike.

Usage: fit_vs_numpy.py LUMAVIST_CLI

Tolerances, relative to the row's largest pixel: the fitted values at every
column within 1e-8, each term c_i * (N - 1)^p within 1e-6. The normal
equations square the condition number, so full double precision is not to
be had; coefficients printed with 6 significant digits fail these bounds.
"""
import os
import struct
import subprocess
import sys
import tempfile

try:
    import numpy as np
except ImportError as e:  # a missing reference must not pass as agreement
    sys.exit("numpy cannot be imported (%s): install python3-numpy for this test" % e)

VALUE_TOLERANCE = 1e-8
TERM_TOLERANCE = 1e-6


def write_fits(path, rows):
    cards = ["SIMPLE  = %20s" % "T", "BITPIX  = %20d" % 32, "NAXIS   = %20d" % 2,
             "NAXIS1  = %20d" % len(rows[0]), "NAXIS2  = %20d" % len(rows), "END"]
    data = b"".join(struct.pack(">i", int(v)) for row in rows for v in row)
    with open(path, "wb") as f:
        f.write("".join(c.ljust(80) for c in cards).ljust(2880).encode("ascii") + data + b"\0" * (-len(data) % 2880))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    rng = np.random.default_rng(4505)
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for w in (12, 40, 300):
            x = np.arange(w, dtype=float)
            spike = 3 * np.arange(w) + 500
            spike[w // 3] += 20000
            rows = [rng.integers(0, 60000, w), (30000 + 8000 * np.sin(x / w * 5)).astype(int) + rng.integers(0, 300, w),
                    spike]
            path = os.path.join(tmp, "rows%d.fit" % w)
            write_fits(path, rows)
            for r, y in enumerate(rows):
                y = y.astype(float)
                for k in range(2, 6):
                    run = subprocess.run([sys.argv[1], "fit", path, "--row", str(r), "--degree", str(k)],
                                         capture_output=True, text=True)
                    fields = run.stdout.split()
                    assert run.returncode == 0 and fields[0] == "COEF" and len(fields) == k + 2, run.stdout
                    c = np.array([float(t) for t in fields[1:]])
                    ref = np.polyfit(x, y, k)
                    scale = np.max(np.abs(y))
                    dv = np.max(np.abs(np.polyval(c, x) - np.polyval(ref, x))) / scale
                    dt = np.max(np.abs(c - ref) * (w - 1.0) ** np.arange(k, -1, -1)) / scale
                    if dv > VALUE_TOLERANCE or dt > TERM_TOLERANCE:
                        print("FAIL w=%d row=%d k=%d: values %.2e terms %.2e" % (w, r, k, dv, dt))
                        failures += 1
    if failures:
        sys.exit("%d fits disagree with numpy" % failures)
    print("all fits agree with numpy")


if __name__ == "__main__":
    main()
