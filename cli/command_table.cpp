// The commands of lumavist-cli, one entry each: its name, synopsis and help
// (which "--help" and "help COMMAND" print), the options it shares with the
// others, and its function.
#include "command_table.h"

namespace lv::cli {

namespace {

constexpr const char* kHeader = "usage: lumavist-cli <command> [arguments]\n"
    "\n"
    "Commands:\n";
constexpr const char* kFooter = "--signed everywhere reads with \"Non Sign Integer\" unticked (BZERO is\n"
    "subtracted). --any-fits lists and processes names ending in .fits, .FITS,\n"
    ".fz and .gz too (the folder window's \"also .fits and compressed frames\").\n"
    "Questions the application would ask are answered OK.\n"
    "\n"
    "lumavist-cli --version prints the version.\n"
    "\n"
    "Exit status: 0 success, 1 the command failed, 2 wrong arguments.\n";

}  // namespace

const std::vector<CommandEntry>& commandTable()
{
    static const std::vector<CommandEntry> table = {
        {"info", "  info FILE [--dialog] [--signed]\n",
         "      Read FILE and print the statistics line, then\n"
         "      BITPIX <b> FLOAT <0|1> NAXIS1 <n> NAXIS2 <n> NAXIS3 <n> BZERO <v> BSCALE <v>;\n"
         "      BLANK <n> when n values are blank (NaN, infinite or the BLANK value),\n"
         "      HDU <k> for an image read from the k-th extension, COMPRESSED <algorithm>\n"
         "      (or gzip) for a compressed one, and MESSAGE <text> for what the read said.\n"
         "      --dialog reads as the file dialog does (three planes for every BITPIX,\n"
         "      messages without the file name); --signed reads with \"Non Sign Integer\"\n"
         "      unticked (BZERO subtracted). A rejected file prints the messages the\n"
         "      application would show, one per line, and exits 1.\n",
         true, 0, kSigned, &info},
        {"header", "  header FILE\n",
         "      Print the header records 1 ... END, one per line (for an image read from\n"
         "      an extension, the primary's records and then the extension's).\n",
         true, 0, kSigned, &header},
        {"dump", "  dump FILE [--dialog] [--signed] [--plane P]\n",
         "      Print NAXIS2 lines of NAXIS1 space-separated values of plane P (0);\n"
         "      a blank value prints as the word blank.\n",
         true, 0, kSigned, &dump},
        {"save", "  save IN OUT --bitpix 8|16|32 [--signed]\n",
         "      Read IN and write plane 0 to OUT as 8-, 16- or 32-bit integers.\n",
         true, 0, kSigned, &save},
        {"demo", "  demo DIR\n",
         "      Write a synthetic observing run into DIR (created if missing): 30 frames\n"
         "      demo_0001.fit ..., calibration/dark.fit and calibration/flat.fit, a\n"
         "      spectrum frame spectrum/spectrum.fit, and README.txt with the positions\n"
         "      and true magnitudes of the comparison, variable and check stars.\n",
         true, 1, 0, &demo},
        {"photometry", "  photometry FILE --comp X,Y --var X,Y --check X,Y [options]\n",
         "      Measure the comparison, variable and check stars of FILE as the\n"
         "      \"Photometry\" button does. Each star's sky position goes 20 pixels to\n"
         "      its right unless given. Options (defaults as the application starts):\n"
         "        --comp X,Y again (up to 10 in all): an ensemble of comparison stars,\n"
         "        measured as the comparison star is; the comparison magnitude is that\n"
         "        of their mean flux, a star that is No Star or saturated is left out\n"
         "        --comp-sky X,Y  --var-sky X,Y  --check-sky X,Y\n"
         "        --shape circle|square (circle)   --size N (3)\n"
         "        --sky median|aperture (median; a circle always uses the median)\n"
         "        --inner R (10)  --outer R (20)   --span N (15)\n"
         "        --position fix|peak|move (move)  --real (integer sums)\n"
         "        --digits 2|3 (3)  --signed\n"
         "        --star NAME  --comp-mag M  --filter B|V|R|I  --code CODE (report line)\n"
         "        --gain G (1 e-/ADU)  --read-noise R (0 e-)  --linearity N (60000 ADU)\n"
         "        --ra HH:MM:SS --dec +DD:MM:SS (J2000)  --lat DEG --lon DEG (east)\n"
         "        --height M  (the frame's GAIN/EGAIN, RDNOISE/READNOIS, SATURATE,\n"
         "        OBJCTRA/OBJCTDEC or RA/DEC, SITELAT/SITELONG/SITEELEV or\n"
         "        LAT-OBS/LONG-OBS/ALT-OBS come first)\n"
         "      Prints MESSAGE <text> for each message, POS <slot> <x> <y> for the six\n"
         "      positions after the run (1 comparison, 2 its sky, 3 variable, 4 its\n"
         "      sky, 5 check, 6 its sky), MAG <comparison|variable|check> <value|-->,\n"
         "      RESULT <result line>, REPORT <report line> when built, and\n"
         "      CLIPBOARD <text>; then, for each measured star, ERR <star> <sigma of\n"
         "      its magnitude>, SNR <star> <F / sigma_F>, PEAK <star> <ADU>, FWHM <star>\n"
         "      <pixels> (when the profile gives one) and FLAG <star> saturated;\n"
         "      with an ensemble, POS C<n> <x> <y> for each further comparison star,\n"
         "      ENSEMBLE <n> <magnitude> <error> (or \"left out\") and ENSEMBLE_N <used>;\n"
         "      ERR V-C <sigma> and ERR C-K <sigma>; and, once all three were\n"
         "      measured, JD <mid-exposure, UTC>, HJD <UTC> and BJD_TDB <TDB> (with\n"
         "      a target position) and AIRMASS <sec z> (with a position and a site).\n"
         "      Exits 0 when all three stars were measured, 1 if not.\n",
         true, 1, kSigned, &photometry},
        {"auto", "  auto FOLDER --comp X,Y --var X,Y --check X,Y [photometry options] [--sort]\n",
         "          [--timezone 0|9] [--any-fits]\n"
         "      Automatic photometry of FOLDER, unattended (\"pictures are not checked\",\n"
         "      no pictures shown): lists the folder's frames (file-system order, or\n"
         "      sorted with --sort), empties FOLDER/mag_est.txt, loads the first frame,\n"
         "      places the stars there as given, then measures every frame and appends\n"
         "      one line per frame to FOLDER/mag_est.txt (the frame path is FOLDER made\n"
         "      absolute, the separator and the frame's name). Takes every option of\n"
         "      photometry; --timezone 9 adds 9 hours to the times written. Beside\n"
         "      mag_est.txt, FOLDER/photometry.csv gets a row per line: times, airmass,\n"
         "      each star's standard magnitude, error, SNR, peak, FWHM and sky scatter,\n"
         "      and flags; with an ensemble (--comp repeated), then ensemble_n and\n"
         "      c1_mag ... c10_mag. Prints MESSAGE <text> for each message, LINES <n>\n"
         "      <path of mag_est.txt> and TABLE <rows> <path of photometry.csv>.\n"
         "      Exits 0 when the folder was done.\n",
         true, 0, kSigned | kSort | kAnyFits, &automatic},
        {"dark", "  dark FOLDER --dark FILE [--sort] [--signed] [--any-fits]\n",
         "      Continuous calibration: every frame of FOLDER has the dark frame FILE\n"
         "      subtracted, or is divided by the flat field FILE and scaled by its\n"
         "      mean, and is rewritten in place. A frame that cannot be read, that is\n"
         "      larger than FILE or has more than one plane keeps its bytes. Prints\n"
         "      MESSAGE lines and CALIBRATED <n> SKIPPED <n>. Exits 1 when FILE was\n"
         "      refused or a frame could not be written.\n",
         false, 0, kSigned | kSort | kAnyFits, &dark},
        {"flat", "  flat FOLDER --flat FILE [--sort] [--signed] [--any-fits]\n",
         "      Continuous calibration: every frame of FOLDER has the dark frame FILE\n"
         "      subtracted, or is divided by the flat field FILE and scaled by its\n"
         "      mean, and is rewritten in place. A frame that cannot be read, that is\n"
         "      larger than FILE or has more than one plane keeps its bytes. Prints\n"
         "      MESSAGE lines and CALIBRATED <n> SKIPPED <n>. Exits 1 when FILE was\n"
         "      refused or a frame could not be written.\n",
         true, 0, kSigned | kSort | kAnyFits, &flat},
        {"calibrate", "  calibrate IN OUT (--dark FILE [--minus] | --flat FILE) [--signed] [--bitpix B]\n",
         "      \"Dark Subtract\" (--minus: keep values below 0) or \"Flat Field\" of IN\n"
         "      with FILE, written to OUT with BITPIX B (that of IN when not given).\n",
         true, 1, kSigned, &calibrate},
        {"lightcurve", "  lightcurve MAGFILE [--delete N,...] [--png OUT]\n",
         "      Reads a photometry data file as the light-curve window does. --delete\n"
         "      marks lines (numbered from 1) as deleted. Prints LIST <list text> per\n"
         "      data line (its mark first), ERROR <photometry error, #0.0000> and\n"
         "      AXES <hourStart> <hourEnd> <ckStart> <ckEnd> <vcStart> <vcEnd>\n"
         "      <ckStep> <vcStep> (the automatic axes). --png writes the C-K and V-C\n"
         "      graphs as the window draws them, to OUT's name with -ck and -vc.\n",
         true, 0, 0, &lightcurve},
        {"rewrite", "  rewrite MAGFILE --delete N,... [--comment TEXT]\n",
         "      \"Save to 'mag_est.txt'\" answered OK: the file without the deleted\n"
         "      lines, TEXT (with \";\" in front) as its comment line.\n",
         true, 0, 0, &rewrite},
        {"report", "  report MAGFILE [--delete N,...] --star S --code C --comp-mag M --colour X\n",
         "         [--observer T] [--instruments T] [--outdir DIR]\n"
         "      \"Save to 'std.file'\": sdata2.std and sdata2.2 (Shift-JIS) in DIR, the\n"
         "      current folder by default. A text Shift-JIS cannot hold is refused.\n",
         true, 1, 0, &report},
        {"aavso", "  aavso MAGFILE [--delete N,...] --star S --code C --comp-mag M --colour X\n",
         "        [--cname NAME] [--kname NAME] [--ut-offset H] [--chart C] [--notes T]\n"
         "        [--date jd|hjd] [--out FILE]\n"
         "      The kept lines in the AAVSO Extended File Format (to aavso.txt unless\n"
         "      --out): Julian dates of mid-exposure in UT (the data's times less H\n"
         "      hours, 9 unless given), or with --date hjd the HJD of photometry.csv,\n"
         "      magnitude compMag + V - C on the standard scale (x 2.5 / 2.511886432),\n"
         "      filter B/V/R/I, CMAG and KMAG the instrumental C and K of each line.\n"
         "      With photometry.csv beside MAGFILE, each record's MAGERR and AIRMASS\n"
         "      are its frame's own; without, MAGERR is the night's photometry error.\n",
         true, 0, 0, &aavso},
        {"minimum", "  minimum TABLE [--from T --to T] [--method kvw|poly] [--epoch T0 --period P]\n",
         "      The time of minimum of the eclipse in TABLE: photometry.csv (V-C on the\n"
         "      standard scale against BJD_TDB, else HJD, else JD) or mag_est.txt (V-C\n"
         "      against the JD of each kept line's local mid-exposure time), between T\n"
         "      and T if given. By Kwee & van Woerden (kvw) and by a polynomial fit\n"
         "      symmetric about the minimum (poly), both unless --method: prints\n"
         "      MINIMUM <method> <time> <sigma in days> <scale> <points> and, with an\n"
         "      ephemeris (epoch in the same scale, period in days), OC <days>. Exits 1\n"
         "      with a MESSAGE when the range holds fewer than 10 points or no minimum.\n",
         true, 0, 0, &minimum},
        {"process", "  process IN [--signed] OP... [--out OUT [--bitpix B]] [--dump]\n",
         "      Reads IN, applies each operation in the order given, then writes\n"
         "      plane 0 to OUT (BITPIX of IN unless given) and/or prints it as dump\n"
         "      does. Operations: --rotate, --hotcool, --3point, --5point,\n"
         "      --shade-average, --shade-median, --fit5, --limb, --bow CSV, --add A,\n"
         "      --multiply A (each may be followed by --whole-file, which sets the\n"
         "      file-read calculation), --incline-all, --incline-row R,\n"
         "      --dark FILE [--minus], --flat FILE, --undo, --bin U,L[:U,L...]\n"
         "      (binning of up to five zones of rows, upper and lower row each).\n",
         true, 0, kSigned, &process},
        {"fit", "  fit IN --row R --degree K [--signed]\n",
         "      Fits row R with a polynomial of degree K (2 ... 5) and prints\n"
         "      COEF <c_K> ... <c_0>, highest power first, 17 significant digits.\n",
         true, 1, kSigned, &fit},
        {"curve", "  curve IN --row R --name NAME [--wavelength START,END] [--signed]\n",
         "      \"Save to disk\" of the intensity-curve window for row R: NAME, NAME\n"
         "      with its last 3 characters replaced by \"djm\" (negated values) and\n"
         "      with its last 4 replaced by \"-inv.djm\"; column numbers, or the\n"
         "      wavelength from START to END in Angstrom.\n",
         true, 0, kSigned, &curve},
        {"composite", "  composite FOLDER --pictures 3|5|7 [--sort] [--signed] [--any-fits]\n",
         "      Writes c3_/c5_/c7_ + name: the mean of each frame and its neighbours\n"
         "      in list order. Prints WRITTEN <n> SKIPPED <n>.\n",
         true, 0, kSigned | kSort | kAnyFits, &composite},
        {"bzero", "  bzero FOLDER --bzero TEXT --bscale TEXT [--sort] [--any-fits]\n",
         "      Rewrites the BZERO and BSCALE cards of every listed file in place\n"
         "      (columns 10 to 30). Prints REWRITTEN <n> SKIPPED <n>.\n",
         true, 1, kSort | kAnyFits, &bzero},
    };
    return table;
}

const CommandEntry* findCommand(const std::string& name)
{
    for (const CommandEntry& e : commandTable())
        if (name == e.name) return &e;
    return nullptr;
}

std::string helpText()
{
    // A help shared by commands written one after the other (dark, flat)
    // follows the last of their synopses.
    std::string out = kHeader;
    for (const CommandEntry& e : commandTable()) {
        out += e.synopsis;
        if (e.helpFollows) out += e.help;
        out.append(static_cast<std::size_t>(e.blankLinesAfter), '\n');
    }
    return out + kFooter;
}

std::string commandHelp(const CommandEntry& entry) { return std::string(entry.synopsis) + entry.help; }

}  // namespace lv::cli
