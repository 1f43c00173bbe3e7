"""The report's Julian dates against astropy over Gregorian dates 1600..2100.

Usage: julian_vs_astropy.py JULIAN_DATES_PROGRAM

The program reads "year month day hours minutes seconds" lines of local time
(UT + 9 h, hours up to 33 for the early morning after the date) and prints one
Julian date a line. astropy's Time is the reference; the times go to it as UT
built with Python's own calendar, so neither side's date arithmetic is reused.
"""
import calendar
import datetime
import random
import subprocess
import sys

try:
    from astropy.time import Time
except ImportError as e:  # a missing reference must not pass as agreement
    sys.exit("astropy cannot be imported (%s): install python3-astropy for this test" % e)

TOLERANCE = 2e-5  # day

def local_times():
    fixed = [
        (1600, 1, 1, 0, 0, 0), (1600, 2, 29, 12, 0, 0), (1700, 2, 28, 33, 59, 59), (1700, 3, 1, 0, 0, 0),
        (1900, 2, 28, 23, 59, 59), (1900, 3, 1, 9, 0, 0), (2000, 2, 29, 21, 31, 0), (2000, 12, 31, 33, 0, 0),
        (2018, 2, 15, 21, 31, 0), (2018, 2, 15, 26, 10, 0), (2100, 2, 28, 30, 0, 0), (2100, 3, 1, 8, 59, 59),
        (2100, 12, 31, 33, 59, 59),
    ]
    rng = random.Random(20180215)
    drawn = []
    for _ in range(400):
        year = rng.randint(1600, 2100)
        month = rng.randint(1, 12)
        day = rng.randint(1, calendar.monthrange(year, month)[1])
        drawn.append((year, month, day, rng.randint(0, 33), rng.randint(0, 59), rng.randint(0, 59)))
    return fixed + drawn

def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    times = local_times()
    stdin = "".join("%d %d %d %d %d %d\n" % t for t in times)
    run = subprocess.run([sys.argv[1]], input=stdin, capture_output=True, text=True, check=True)
    ours = [float(v) for v in run.stdout.split()]
    if len(ours) != len(times):
        sys.exit("%d dates in, %d Julian dates out" % (len(times), len(ours)))
    ut = [datetime.datetime(y, mo, d) + datetime.timedelta(hours=h - 9, minutes=mi, seconds=s)
          for y, mo, d, h, mi, s in times]
    # TAI: a uniform scale, so the Julian date is the calendar's alone (no leap seconds).
    reference = Time([u.isoformat() for u in ut], format="isot", scale="tai").jd
    bad = [(t, o, r) for t, o, r in zip(times, ours, reference) if abs(o - r) > TOLERANCE]
    worst = max(abs(o - r) for o, r in zip(ours, reference))
    print("%d dates, largest difference %.2e day" % (len(times), worst))
    for t, o, r in bad[:10]:
        print("local %04d-%02d-%02d %02d:%02d:%02d: ours %.6f, astropy %.6f" % (t + (o, r)))
    return 1 if bad else 0

if __name__ == "__main__":
    sys.exit(main())
