#!/usr/bin/env bash
# Opening a frame as a whole process: `lumavist-cli info` against a small C
# program that reads the same file with cfitsio and sums it, on a 3073 x 3073
# 16-bit and a BITPIX -32 frame. Runs them in alternating pairs and prints
# the median times and the median of the per-pair ratios.
#   bench/whole_process/run.sh LUMAVIST_CLI [PAIRS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=$(realpath "$1")
pairs=${2:-31}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/cfitsio_sum" "$here/cfitsio_sum.c" $(pkg-config --cflags --libs cfitsio)
"$work/cfitsio_sum" write "$work/f16.fit" "$work/ffloat.fit"
echo "transparent huge pages: $(cat /sys/kernel/mm/transparent_hugepage/enabled 2>/dev/null || echo unavailable)"
python3 - "$cli" "$work" "$pairs" <<'PY'
import statistics, subprocess, sys, time
cli, work, pairs = sys.argv[1], sys.argv[2], int(sys.argv[3])
def timed(cmd):
    t = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    return (time.perf_counter() - t) * 1000
for name in ("f16.fit", "ffloat.fit"):
    path = f"{work}/{name}"
    ours, ref = [], []
    for _ in range(3):  # page cache and binaries warm
        timed([cli, "info", path]); timed([f"{work}/cfitsio_sum", path])
    for _ in range(pairs):
        ours.append(timed([cli, "info", path]))
        ref.append(timed([f"{work}/cfitsio_sum", path]))
    ratios = [a / b for a, b in zip(ours, ref)]
    print(f"{name}: lumavist-cli {statistics.median(ours):.1f} ms, cfitsio {statistics.median(ref):.1f} ms, "
          f"median ratio {statistics.median(ratios):.2f} ({pairs} pairs)")
PY
