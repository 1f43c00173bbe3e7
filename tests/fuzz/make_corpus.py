#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into BUILD/fuzz/seeds/<target>.

    tests/fuzz/make_corpus.py BUILD

Every seed is made here: the demo run and the files the CLI writes from it
(frames, mag_est.txt), frames written by cfitsio and by our own writer
(lumavist-cli save), texts built below, the inputs kept in regressions/, and
truncations of each at a few lengths. BUILD must hold lumavist-cli.
"""
import hashlib
import gzip
import os
import shutil
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TARGETS = ["fits_reader", "calibration_reader", "header_dates", "settings", "mag_est", "bow_table", "leading_number",
           "tile_streams"]
# The CLI is built with the sanitizers; leaks at exit are not what we look for here.
ENV = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")

build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-fuzz")
cli = os.path.join(build, "cli", "lumavist-cli")
work = os.path.join(build, "fuzz", "seed-work")
seeds = os.path.join(build, "fuzz", "seeds")
for d in (work, seeds):
    shutil.rmtree(d, ignore_errors=True)
os.makedirs(work)


def run(*args):
    subprocess.run(args, check=True, env=ENV, stdout=subprocess.DEVNULL)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def add(target, data, name):
    d = os.path.join(seeds, target)
    os.makedirs(d, exist_ok=True)
    digest = hashlib.sha1(data).hexdigest()[:10]
    with open(os.path.join(d, f"{name}-{digest}"), "wb") as f:
        f.write(data)


def truncations(data):
    """A few shorter forms: one record, one block, the header alone, half the data, one byte short."""
    header = header_length(data)
    cuts = {80, 2880, header, header + (len(data) - header) // 2, len(data) - 1}
    return sorted(c for c in cuts if 0 < c < len(data))


def header_length(data):
    for i in range(0, min(len(data), 500 * 80), 80):
        if data[i:i + 3] == b"END":
            return (i // 2880 + 1) * 2880
    return min(len(data), 2880)


def card(key, value):
    return (f"{key:<8}= {value:>20}" if not value.startswith("'") else f"{key:<8}= {value}").ljust(80).encode()


def shrunk(data, columns, rows):
    """A frame's header with smaller NAXIS1/NAXIS2 and the first values of its data."""
    header = header_length(data)
    cards = [data[i:i + 80] for i in range(0, header, 80)]
    bitpix = 16
    for i, c in enumerate(cards):
        if c.startswith(b"BITPIX  ="):
            bitpix = abs(int(c[10:30]))
        if c.startswith(b"NAXIS1  ="):
            cards[i] = card("NAXIS1", str(columns))
        if c.startswith(b"NAXIS2  ="):
            cards[i] = card("NAXIS2", str(rows))
    body = data[header:header + columns * rows * bitpix // 8]
    body += b"\0" * (-len(body) % 2880)
    return b"".join(cards) + body


# ---- FITS frames -------------------------------------------------------------
demo = os.path.join(work, "demo")
run(cli, "demo", demo)
frames = {}  # name -> bytes
for rel in ["demo_0001.fit", "calibration/dark.fit", "calibration/flat.fit", "spectrum/spectrum.fit"]:
    data = read(os.path.join(demo, rel))
    name = os.path.basename(rel)[:-4]
    frames[f"{name}-small"] = shrunk(data, 24, 16)

cfitsio_dir = os.path.join(work, "cfitsio")
os.makedirs(cfitsio_dir)
flags = subprocess.run(["pkg-config", "--cflags", "--libs", "cfitsio"], check=True, capture_output=True,
                       text=True).stdout.split()
writer = os.path.join(work, "cfitsio_seeds")
subprocess.run(["cc", "-O1", "-o", writer, os.path.join(HERE, "cfitsio_seeds.c"), *flags, "-lm"], check=True)
tile_dir = os.path.join(work, "tiles")
os.makedirs(tile_dir)
run(writer, cfitsio_dir, tile_dir)
for f in sorted(os.listdir(tile_dir)):
    data = read(os.path.join(tile_dir, f))
    add("tile_streams", data, f)
    for cut in (4, len(data) // 2, len(data) - 1):
        add("tile_streams", data[:cut], f"{f}-cut{cut}")
for f in sorted(os.listdir(cfitsio_dir)):
    frames["cfitsio-" + f[:-4]] = read(os.path.join(cfitsio_dir, f))

# gzip streams, which the reader hands to cfitsio.
frames["gzip-short"] = gzip.compress(frames["cfitsio-short"], mtime=0)
frames["gzip-rice"] = gzip.compress(frames["cfitsio-rice.fit"], mtime=0)

small = os.path.join(work, "demo-small.fit")
with open(small, "wb") as f:
    f.write(frames["demo_0001-small"])
for source in [small, os.path.join(cfitsio_dir, "float.fit"), os.path.join(cfitsio_dir, "short.fit")]:
    for bitpix in ("8", "16", "32"):
        for signed in ([], ["--signed"]):
            out = os.path.join(work, "saved.fit")
            run(cli, "save", source, out, "--bitpix", bitpix, *signed)
            base = os.path.basename(source)[:-4]
            frames[f"saved-{base}-{bitpix}{'s' if signed else ''}"] = read(out)

# Blank pixels: NaN and infinities in float data (a run, lone ones), the BLANK value of 16-bit data, and a frame of blanks only.
def plain(bitpix, columns, rows, extra, body):
    cards = [card("SIMPLE", "T"), card("BITPIX", str(bitpix)), card("NAXIS", "2"), card("NAXIS1", str(columns)),
             card("NAXIS2", str(rows))] + extra + [b"END".ljust(80)]
    head = b"".join(cards)
    return head + b" " * (-len(head) % 2880) + body + b"\0" * (-len(body) % 2880)


nan, inf = float("nan"), float("inf")
floats = [float(i % 97) - 20.5 for i in range(180 * 180)]  # within the inputs' 140 kB
for i in list(range(0, 180)) + [1000, 1002, 20000, 180 * 180 - 1]:
    floats[i] = nan if i % 2 else (inf if i % 4 else -inf)
frames["blank-float"] = plain(-32, 180, 180, [], struct.pack(">%df" % len(floats), *floats))
frames["blank-double"] = plain(-64, 5, 3, [], struct.pack(">15d", nan, 1.5, 2.5, -inf, *range(11)))
frames["blank-short"] = plain(16, 6, 2, [card("BZERO", "32768"), card("BLANK", "-32768")],
                              struct.pack(">12h", -32768, -32767, 0, 5, -32768, 32767, 1, 2, 3, 4, 5, -32768))
frames["blank-only"] = plain(-32, 2, 2, [], struct.pack(">4f", nan, nan, inf, -inf))

# Reading options of the image reader: (flags, values), see fits_reader_fuzz.cpp.
READ_OPTIONS = [(1, 0), (2, 0), (4, 0), (8, 1), (16, 0), (32, 0x80), (1 | 16, 3), (2 | 4, 7), (8 | 1, 5)]
for i, (name, data) in enumerate(sorted(frames.items())):
    add("fits_reader", bytes([0, 0]) + data, name)
    add("fits_reader", bytes(READ_OPTIONS[i % len(READ_OPTIONS)]) + data, name + "-options")
    add("calibration_reader", bytes([0]) + data, name)
    add("calibration_reader", bytes([1 + i % 7]) + data, name + "-options")
    add("header_dates", bytes([i % 2]) + data[:header_length(data)].rstrip(b" \0"), name)
    for cut in truncations(data):
        add("fits_reader", bytes([0, 0]) + data[:cut], f"{name}-cut{cut}")
        add("calibration_reader", bytes([0]) + data[:cut], f"{name}-cut{cut}")

# Headers of the other observation-time forms.
time_headers = [
    [card("DATE-OBS", "'15/02/18'"), card("UT", "'23:59:30'"), card("EXPTIME", "30")],
    [card("DATE-OBS", "'2018-02-28'"), card("JST", "'08:10:00'"), card("TIMESYS", "'UTC     '")],
    [card("DATE-OBS", "'2016-02-28T23:59:59'"), card("EXPTIME", "12.5")],
    [card("DATE-OBS", "'1999-12-31'"), card("TIME-OBS", "'12:00:00.5'"), card("UT-START", "'1:2:3'")],
]
for i, cards in enumerate(time_headers):
    add("header_dates", bytes([i % 2]) + b"".join(cards) + b"END".ljust(80), f"times{i}")

# ---- text files --------------------------------------------------------------
run(cli, "auto", demo, "--comp", "200,290", "--var", "290,230", "--check", "320,330", "--sort")
mag_est = os.path.join(demo, "mag_est.txt")
texts = {"mag_est": read(mag_est)}
rewritten = os.path.join(work, "mag_est_rewritten.txt")
shutil.copy(mag_est, rewritten)
run(cli, "rewrite", rewritten, "--delete", "2,5", "--comment", "night of 2018-02-15")
texts["mag_est-rewritten"] = read(rewritten)
run(cli, "auto", demo, "--comp", "200,290", "--var", "290,230", "--check", "320,330", "--sort", "--timezone", "9",
    "--digits", "2")
texts["mag_est-jst"] = read(mag_est)
for name, data in texts.items():
    add("mag_est", data, name)
    for cut in (len(data) // 3, len(data) - 1):
        add("mag_est", data[:cut], f"{name}-cut{cut}")
add("mag_est", texts["mag_est"].replace(b"\r\n", b"\n"), "mag_est-lf")

settings_lines = ["ABC", "V", "DEMO VAR", "10.5", "Tokyo", "200mm f/4 CCD", " 1"]
settings_lines += [f" {15 * (40 + 10 * w):<13} {15 * (30 + 5 * w)}" for w in range(15)]
settings_lines += ["18.5          30.25", " 3", " 9", "DEMO COMP", "DEMO CHECK"]
ini = "".join(line + "\r\n" for line in settings_lines).encode()
add("settings", ini, "lumavist")
for cut in (len(ini) // 2, len(ini) - 30):
    add("settings", ini[:cut], f"lumavist-cut{cut}")
add("settings", ini.replace(b"\r\n", b"\n").replace(b" 3\n", b"2,x\n"), "lumavist-lf")

bow = b"".join(f"{row},{(row % 7 - 3) * 0.37:.3f}\r\n".encode() for row in range(0, 20, 2))
add("bow_table", bow, "bow")
add("bow_table", b"0,1\n\n 3 , -2.5e0 \n3072,0.25\n", "bow-mixed")
add("bow_table", bow[: len(bow) // 2], "bow-cut")

numbers = [b"10,5", b"1.5E2", b" - 1 2 . 5 D 3", b"abc", b"-.5e-3x", b"+7", b"1e999", b"2.5", b"0012:30:00"]
for frame in ("demo_0001-small", "cfitsio-scaled"):
    data = frames[frame]
    numbers += [data[i + 9:i + 30] for i in range(0, header_length(data), 80) if data[i:i + 1].strip()][:8]
numbers += [struct.pack("<d", v) + b" 12.25" for v in (1.0, -0.1, 6.02214076e23, 5e-324)]
for i, n in enumerate(numbers):
    add("leading_number", n, f"number{i}")
add("leading_number", ini.split(b"\r\n")[8], "settings-line")

# ---- what regressions/ holds -------------------------------------------------
for target in TARGETS:
    d = os.path.join(HERE, "regressions", target)
    if os.path.isdir(d):
        for f in sorted(os.listdir(d)):
            add(target, read(os.path.join(d, f)), "regression-" + f)

for target in TARGETS:
    n = len(os.listdir(os.path.join(seeds, target)))
    print(f"{target}: {n} seeds")
