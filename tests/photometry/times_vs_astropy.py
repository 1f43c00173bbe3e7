"""Mid-exposure times and airmass against astropy.

Usage: times_vs_astropy.py OBSERVATION_TIMES_PROBE

For 200 random instants (2000 to 2022, inside astropy's own Earth rotation
table), targets and sites: HJD (UTC) and BJD_TDB within 1e-6 day of
astropy's Time + light_travel_time (the Sun's and the barycentre's
ephemeris both ERFA's, as astropy's 'builtin'), and the airmass within
0.001 of astropy's AltAz without refraction, above 20 degrees of altitude.
"""
import subprocess
import sys

try:
    import numpy as np
    from astropy import units as u
    from astropy.coordinates import AltAz, EarthLocation, SkyCoord
    from astropy.time import Time
    from astropy.utils import iers
except ImportError as e:  # a missing reference must not pass as agreement
    sys.exit("astropy cannot be imported (%s): install python3-astropy for this test" % e)

iers.conf.auto_download = False  # the tests run offline: astropy's bundled table


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    rng = np.random.default_rng(21)
    n = 200
    jd = rng.uniform(Time("2000-01-01").jd, Time("2022-06-01").jd, n)
    ra = rng.uniform(0, 360, n)
    dec = np.degrees(np.arcsin(rng.uniform(-1, 1, n)))
    lat = rng.uniform(-70, 70, n)
    lon = rng.uniform(-180, 180, n)
    height = rng.uniform(0, 4000, n)
    lines = "".join("%.10f %.8f %.8f %.6f %.6f %.2f\n" % row for row in zip(jd, ra, dec, lat, lon, height))
    out = subprocess.run([sys.argv[1]], input=lines, capture_output=True, text=True, check=True).stdout.split("\n")

    failures = []
    compared_airmass = 0
    for i in range(n):
        ours = out[i].split()
        loc = EarthLocation.from_geodetic(lon[i] * u.deg, lat[i] * u.deg, height[i] * u.m)
        t = Time(jd[i], format="jd", scale="utc", location=loc)
        target = SkyCoord(ra[i] * u.deg, dec[i] * u.deg, frame="icrs")
        hjd = (t.utc + t.light_travel_time(target, "heliocentric", ephemeris="builtin")).jd
        bjd = (t.tdb + t.light_travel_time(target, "barycentric", ephemeris="builtin")).jd
        alt = target.transform_to(AltAz(obstime=t, location=loc, pressure=0 * u.hPa)).alt.deg
        if abs(float(ours[1]) - hjd) > 1e-6:
            failures.append("case %d: HJD %s, astropy %.8f" % (i, ours[1], hjd))
        if abs(float(ours[2]) - bjd) > 1e-6:
            failures.append("case %d: BJD_TDB %s, astropy %.8f" % (i, ours[2], bjd))
        if alt > 20:
            compared_airmass += 1
            secz = 1 / np.sin(np.radians(alt))
            if ours[3] == "-" or abs(float(ours[3]) - secz) > 0.001:
                failures.append("case %d: airmass %s, astropy %.6f (altitude %.2f)" % (i, ours[3], secz, alt))
        elif alt < -1 and ours[3] != "-":
            failures.append("case %d: airmass %s below the horizon (altitude %.2f)" % (i, ours[3], alt))
    if compared_airmass < 40:
        failures.append("only %d targets above 20 degrees" % compared_airmass)
    if failures:
        sys.exit("\n".join(failures[:20]))
    print("200 instants: HJD and BJD_TDB within 1e-6 day, %d airmasses within 0.001 of astropy" % compared_airmass)


if __name__ == "__main__":
    main()
