#!/usr/bin/env python3
# The folder jobs done with the Python programs observers use instead, as a
# user would script them: ccdproc for dark, flat and the mean of frames, sep
# and photutils for aperture photometry. Results are written as 16-bit
# frames (or a text table), as Lumavist writes them.
#   others.py ccdproc dark|flat FOLDER CALIBRATION OUT
#   others.py ccdproc mean FOLDER OUT_FILE
#   others.py sep|photutils FOLDER STARS_TXT OUT_FILE
import os
import sys

import numpy as np
from astropy.io import fits

tool, args = sys.argv[1], sys.argv[2:]


def frames(folder):
    return [os.path.join(folder, n) for n in sorted(os.listdir(folder)) if n.endswith(".fit")]


def write16(path, data, header):
    fits.writeto(path, np.clip(np.rint(data), 0, 65535).astype(np.uint16), header, overwrite=True)


if tool == "ccdproc":
    import astropy.units as u
    import ccdproc
    from astropy.nddata import CCDData

    job = args[0]
    if job == "mean":
        folder, out = args[1], args[2]
        combined = ccdproc.combine(frames(folder), method="average", unit="adu")
        write16(out, combined.data, combined.header)
    else:
        folder, calibration, out = args[1], args[2], args[3]
        master = CCDData.read(calibration, unit="adu")
        for path in frames(folder):
            ccd = CCDData.read(path, unit="adu")
            if job == "dark":
                result = ccdproc.subtract_dark(ccd, master, dark_exposure=60 * u.s, data_exposure=60 * u.s)
            else:
                result = ccdproc.flat_correct(ccd, master)
            write16(os.path.join(out, os.path.basename(path)), result.data, result.header)
else:
    folder, stars_txt, out = args
    stars = np.loadtxt(stars_txt) - 1.0  # 0-based centres
    lines = []
    if tool == "sep":
        import sep

        for path in frames(folder):
            data = fits.getdata(path).astype(np.float64)
            flux, err, flag = sep.sum_circle(data, stars[:, 0], stars[:, 1], 3.0, bkgann=(10.0, 20.0))
            lines.append(os.path.basename(path) + " " + " ".join(f"{f:.3f}" for f in flux))
    else:
        from photutils.aperture import ApertureStats, CircularAnnulus, CircularAperture, aperture_photometry

        apertures = CircularAperture(stars, r=3.0)
        annuli = CircularAnnulus(stars, r_in=10.0, r_out=20.0)
        for path in frames(folder):
            data = fits.getdata(path).astype(np.float64)
            sky = ApertureStats(data, annuli).median
            table = aperture_photometry(data, apertures)
            flux = table["aperture_sum"] - sky * apertures.area
            lines.append(os.path.basename(path) + " " + " ".join(f"{f:.3f}" for f in flux))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")
