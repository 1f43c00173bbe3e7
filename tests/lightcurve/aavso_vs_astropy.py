"""The AAVSO export's Julian dates (UT, mid-exposure) against astropy.

Usage: aavso_vs_astropy.py JULIAN_DATES_PROGRAM

Data lines carry the header time plus the chosen time-zone hours (hours may
pass 23); the export takes off the UT offset and adds half the exposure.
astropy's Time, fed UT built with Python's own calendar, is the reference.
"""
import datetime
import random
import subprocess
import sys

try:
    from astropy.time import Time
except ImportError as e:  # a missing reference must not pass as agreement
    sys.exit("astropy cannot be imported (%s): install python3-astropy for this test" % e)

TOLERANCE = 1e-7  # day: the export writes 5 decimals

def cases():
    fixed = [(2018, 2, 15, 21, 30, 45, 30, 9), (2018, 2, 15, 12, 30, 45, 30, 0), (2020, 2, 29, 27, 15, 0, 120, 9),
             (2000, 12, 31, 23, 59, 50, 20, 0), (2100, 3, 1, 3, 0, 0, 999, 9)]
    rng = random.Random(7)
    drawn = [(rng.randint(1900, 2100), rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 32),
              rng.randint(0, 59), rng.randint(0, 59), rng.randint(0, 999), rng.choice([0, 9])) for _ in range(300)]
    return fixed + drawn

def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    data = cases()
    stdin = "".join("%d %d %d %d %d %d %d %d\n" % c for c in data)
    run = subprocess.run([sys.argv[1], "--aavso"], input=stdin, capture_output=True, text=True, check=True)
    ours = [float(v) for v in run.stdout.split()]
    if len(ours) != len(data):
        sys.exit("%d lines in, %d dates out" % (len(data), len(ours)))
    ut = [datetime.datetime(y, mo, d) + datetime.timedelta(hours=h - off, minutes=mi, seconds=s + e / 2)
          for y, mo, d, h, mi, s, e, off in data]
    reference = Time([u.isoformat() for u in ut], format="isot", scale="tai").jd
    worst = max(abs(o - r) for o, r in zip(ours, reference))
    print("%d lines, largest difference %.2e day" % (len(data), worst))
    return 1 if worst > TOLERANCE else 0

if __name__ == "__main__":
    sys.exit(main())
