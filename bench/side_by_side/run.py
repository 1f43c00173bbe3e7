#!/usr/bin/env python3
# The folder jobs side by side with the programs observers would pick
# instead, as whole processes over one synthetic night (make_night.py):
# dark subtraction and flat division of 100 frames of 1024 x 1024 and 10 of
# 3072 x 3072, the mean of 7 frames of each size, and photometry of three
# stars over the 100 frames. Each run starts from a fresh copy of the frames
# with the page cache warm, and ends with `sync`, so that every program's
# flush to the disk is counted (Lumavist flushes each file itself). The
# programs take turns within each round, each round starting with the next
# program; the table gives the median time and Lumavist's median / the
# other program's median. For dark and flat the "floor" column is the time
# of replacing the frames durably one after the other and nothing else
# (durable_floor.py).
#
#   run.py LUMAVIST_CLI [--rounds N] [--night DIR] [--only JOB,...]
#
# Siril (siril-cli), Munipack, ccdproc, sep and photutils are used when they
# are installed (Debian: siril munipack python3-ccdproc python3-sep
# python3-photutils); without them only Lumavist's figures are printed.
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def has_module(name):
    return subprocess.run([python, "-c", f"import {name}"], stderr=subprocess.DEVNULL).returncode == 0


def siril_script(work, lines):
    path = os.path.join(work, "job.ssf")
    with open(path, "w") as f:
        f.write("requires 1.0.0\nset16bits\nsetext fit\n" + "\n".join(lines) + "\n")
    return ["siril-cli", "-s", path, "-d", work]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--night")
    ap.add_argument("--only", default="")
    ap.add_argument("--all-rounds", action="store_true", help="print every round's times too")
    opts = ap.parse_args()
    cli = os.path.abspath(opts.cli)

    scratch = tempfile.mkdtemp(prefix="lumavist-side-", dir=os.environ.get("TMPDIR", "/var/tmp"))
    try:
        night = opts.night or os.path.join(scratch, "night")
        if not os.path.exists(os.path.join(night, "stars.txt")):
            os.makedirs(night, exist_ok=True)
            subprocess.run([python, os.path.join(here, "make_night.py"), night], check=True)
        with open(os.path.join(night, "stars.txt")) as f:
            stars = [tuple(int(v) for v in line.split()) for line in f if line.strip()]
        pos = [f"{x},{y}" for x, y in stars]

        # "floor" is no program: it only replaces the frames durably, one
        # after the other, as dark and flat must (durable_floor.py).
        tools = ["lumavist", "floor"]
        if shutil.which("siril-cli"):
            tools.append("siril")
        if has_module("ccdproc"):
            tools.append("ccdproc")
        if shutil.which("munipack"):
            tools.append("munipack")
        if has_module("sep"):
            tools.append("sep")
        if has_module("photutils"):
            tools.append("photutils")

        # job -> tool -> (folder to copy, command builder(work))
        def calibration(kind, size):
            calib = os.path.join(night, size, f"{kind}.fit")
            option = "--dark" if kind == "dark" else "--flat"
            return {
                "lumavist": lambda w: [cli, kind, w + "/frames", option, calib],
                "floor": lambda w: [python, os.path.join(here, "durable_floor.py"), w + "/frames"],
                "siril": lambda w: siril_script(w, ["cd frames", "link f -out=../seq", "cd ../seq",
                                                    f"preprocess f_ -{kind}={calib} -prefix=c_"]),
                "ccdproc": lambda w: [python, os.path.join(here, "others.py"), "ccdproc", kind, w + "/frames", calib,
                                      w + "/out"],
                "munipack": lambda w: ["munipack", "phcorr", f"-{kind}", calib, "-B", "16", "-t", w + "/out"] +
                                      sorted(os.path.join(w, "frames", n) for n in os.listdir(w + "/frames")),
            }

        def mean7():
            return {
                "lumavist": lambda w: [cli, "composite", w + "/frames", "--pictures", "7", "--sort"],
                "siril": lambda w: siril_script(w, ["cd frames", "link f -out=../seq", "cd ../seq",
                                                    "stack f_ mean n -nonorm -out=../mean7"]),
                "ccdproc": lambda w: [python, os.path.join(here, "others.py"), "ccdproc", "mean", w + "/frames",
                                      w + "/mean7.fit"],
            }

        photometry = {
            "lumavist": lambda w: [cli, "auto", w + "/frames", "--comp", pos[0], "--var", pos[1], "--check", pos[2],
                                   "--sort"],
            "sep": lambda w: [python, os.path.join(here, "others.py"), "sep", w + "/frames",
                              os.path.join(night, "stars.txt"), w + "/out/flux.txt"],
            "photutils": lambda w: [python, os.path.join(here, "others.py"), "photutils", w + "/frames",
                                    os.path.join(night, "stars.txt"), w + "/out/flux.txt"],
        }

        jobs = []
        for size, label in (("small", "1024"), ("large", "3072")):
            for kind in ("dark", "flat"):
                jobs.append((f"{kind} {label}", size, None, calibration(kind, size)))
        jobs.append(("mean of 7 1024", "small", 7, mean7()))
        jobs.append(("mean of 7 3072", "large", 7, mean7()))
        jobs.append(("photometry 100 x 1024", "small", None, photometry))
        only = [j for j in opts.only.split(",") if j]
        if only:
            jobs = [j for j in jobs if any(o in j[0] for o in only)]

        def prepare(size, count):
            work = os.path.join(scratch, "work")
            shutil.rmtree(work, ignore_errors=True)
            os.makedirs(work + "/frames")
            os.makedirs(work + "/out")
            names = sorted(os.listdir(os.path.join(night, size, "frames")))
            for n in names[:count] if count else names:
                shutil.copyfile(os.path.join(night, size, "frames", n), os.path.join(work, "frames", n))
            subprocess.run(["sync"], check=True)
            for n in os.listdir(work + "/frames"):  # warm: every program finds its input in the cache
                with open(os.path.join(work, "frames", n), "rb") as f:
                    while f.read(1 << 22):
                        pass
            return work

        def timed(cmd):
            start = time.perf_counter()
            done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run(["sync"], check=True)
            elapsed = time.perf_counter() - start
            if done.returncode != 0:
                raise SystemExit(f"failed ({done.returncode}): {' '.join(cmd)}")
            return elapsed

        print(f"machine: {os.cpu_count()} processors online, {len(os.sched_getaffinity(0))} usable; "
              f"{opts.rounds} rounds, tools alternated, sync counted")
        print(f"{'job':24} " + " ".join(f"{t:>18}" for t in tools))
        for name, size, count, commands in jobs:
            times = {t: [] for t in commands if t in tools}
            order = list(times)
            for r in range(opts.rounds):
                # Each round starts with another program: a program runs
                # slower right after one that freed much memory (a virtual
                # machine's host takes freed pages back), so a fixed order
                # would favour some.
                for tool in order[r % len(order):] + order[:r % len(order)]:
                    work = prepare(size, count)
                    times[tool].append(timed(commands[tool](work)))
            ours = statistics.median(times["lumavist"])
            cells = []
            for tool in tools:
                if tool not in times:
                    cells.append(f"{'':>18}")
                elif tool == "lumavist":
                    cells.append(f"{ours * 1000:>15.0f} ms")
                else:
                    theirs = statistics.median(times[tool])
                    cells.append(f"{theirs * 1000:>7.0f} ms {ours / theirs:>5.2f}x")
            print(f"{name:24} " + " ".join(cells), flush=True)
            if opts.all_rounds:
                for tool, values in times.items():
                    print(f"    {tool}: " + " ".join(f"{v * 1000:.0f}" for v in values))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
