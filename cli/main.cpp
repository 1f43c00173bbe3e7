// lumavist-cli: the Lumavist engine without windows, for scripts, pipelines
// and tests.
#include <cstring>
#include <iostream>
#include <map>

#include "commands.h"

namespace {

const char* kHelp = R"(usage: lumavist-cli <command> [arguments]

Commands:
  info FILE [--dialog] [--signed]
      Read FILE and print the statistics line, then
      BITPIX <b> FLOAT <0|1> NAXIS1 <n> NAXIS2 <n> NAXIS3 <n> BZERO <v> BSCALE <v>.
      --dialog reads as the file dialog does (three planes for every BITPIX,
      messages without the file name); --signed reads with "Non Sign Integer"
      unticked (BZERO subtracted). A rejected file prints the messages the
      application would show, one per line, and exits 1.
  header FILE
      Print the header records 1 ... END, one per line.
  dump FILE [--dialog] [--signed] [--plane P]
      Print NAXIS2 lines of NAXIS1 space-separated values of plane P (0).
  save IN OUT --bitpix 8|16|32 [--signed]
      Read IN and write plane 0 to OUT as 8-, 16- or 32-bit integers.
  demo DIR
      Write a synthetic observing run into DIR (created if missing): 30 frames
      demo_0001.fit ..., calibration/dark.fit and calibration/flat.fit, a
      spectrum frame spectrum/spectrum.fit, and README.txt with the positions
      and true magnitudes of the comparison, variable and check stars.

  photometry FILE --comp X,Y --var X,Y --check X,Y [options]
      Measure the comparison, variable and check stars of FILE as the
      "Photometry" button does. Each star's sky position goes 20 pixels to
      its right unless given. Options (defaults as the application starts):
        --comp-sky X,Y  --var-sky X,Y  --check-sky X,Y
        --shape circle|square (circle)   --size N (3)
        --sky median|aperture (median; a circle always uses the median)
        --inner R (10)  --outer R (20)   --span N (15)
        --position fix|peak|move (move)  --real (integer sums)
        --digits 2|3 (3)  --signed
        --star NAME  --comp-mag M  --filter B|V|R|I  --code CODE (report line)
      Prints MESSAGE <text> for each message, POS <slot> <x> <y> for the six
      positions after the run (1 comparison, 2 its sky, 3 variable, 4 its
      sky, 5 check, 6 its sky), MAG <comparison|variable|check> <value|-->,
      RESULT <result line>, REPORT <report line> when built, and
      CLIPBOARD <text>. Exits 0 when all three stars were measured, 1 if not.

  auto FOLDER --comp X,Y --var X,Y --check X,Y [photometry options] [--sort]
          [--timezone 0|9]
      Automatic photometry of FOLDER, unattended ("pictures are not checked",
      no pictures shown): lists the folder's frames (file-system order, or
      sorted with --sort), empties FOLDER/mag_est.txt, loads the first frame,
      places the stars there as given, then measures every frame and appends
      one line per frame to FOLDER/mag_est.txt (the frame path is FOLDER made
      absolute, the separator and the frame's name). Takes every option of
      photometry; --timezone 9 adds 9 hours to the times written. Prints
      MESSAGE <text> for each message and LINES <n> <path of mag_est.txt>.
      Exits 0 when the folder was done.
  dark FOLDER --dark FILE [--sort] [--signed]
  flat FOLDER --flat FILE [--sort] [--signed]
      Continuous calibration: every frame of FOLDER has the dark frame FILE
      subtracted, or is divided by the flat field FILE and scaled by its
      mean, and is rewritten in place. A frame that cannot be read, that is
      larger than FILE or has more than one plane keeps its bytes. Prints
      MESSAGE lines and CALIBRATED <n> SKIPPED <n>. Exits 1 when FILE was
      refused or a frame could not be written.
  calibrate IN OUT (--dark FILE [--minus] | --flat FILE) [--signed] [--bitpix B]
      "Dark Subtract" (--minus: keep values below 0) or "Flat Field" of IN
      with FILE, written to OUT with BITPIX B (that of IN when not given).

  lightcurve MAGFILE [--delete N,...] [--png OUT]
      Reads a photometry data file as the light-curve window does. --delete
      marks lines (numbered from 1) as deleted. Prints LIST <list text> per
      data line (its mark first), ERROR <photometry error, #0.0000> and
      AXES <hourStart> <hourEnd> <ckStart> <ckEnd> <vcStart> <vcEnd>
      <ckStep> <vcStep> (the automatic axes). --png writes the C-K and V-C
      graphs as the window draws them, to OUT's name with -ck and -vc.
  rewrite MAGFILE --delete N,... [--comment TEXT]
      "Save to 'mag_est.txt'" answered OK: the file without the deleted
      lines, TEXT (with ";" in front) as its comment line.
  report MAGFILE [--delete N,...] --star S --code C --comp-mag M --colour X
         [--observer T] [--instruments T] [--outdir DIR]
      "Save to 'std.file'": sdata2.std and sdata2.2 (Shift-JIS) in DIR, the
      current folder by default. A text Shift-JIS cannot hold is refused.

  aavso MAGFILE [--delete N,...] --star S --code C --comp-mag M --colour X
        [--cname NAME] [--kname NAME] [--ut-offset H] [--chart C] [--notes T]
        [--out FILE]
      The kept lines in the AAVSO Extended File Format (to aavso.txt unless
      --out): Julian dates of mid-exposure in UT (the data's times less H
      hours, 9 unless given), magnitude compMag + V - C, the night's
      photometry error, filter B/V/R/I, CMAG and KMAG the instrumental C
      and K of each line.
  process IN [--signed] OP... [--out OUT [--bitpix B]] [--dump]
      Reads IN, applies each operation in the order given, then writes
      plane 0 to OUT (BITPIX of IN unless given) and/or prints it as dump
      does. Operations: --rotate, --hotcool, --3point, --5point,
      --shade-average, --shade-median, --fit5, --limb, --bow CSV, --add A,
      --multiply A (each may be followed by --whole-file, which sets the
      file-read calculation), --incline-all, --incline-row R,
      --dark FILE [--minus], --flat FILE, --undo, --bin U,L[:U,L...]
      (binning of up to five zones of rows, upper and lower row each).
  fit IN --row R --degree K [--signed]
      Fits row R with a polynomial of degree K (2 ... 5) and prints
      COEF <c_K> ... <c_0>, highest power first, 17 significant digits.

  curve IN --row R --name NAME [--wavelength START,END] [--signed]
      "Save to disk" of the intensity-curve window for row R: NAME, NAME
      with its last 3 characters replaced by "djm" (negated values) and
      with its last 4 replaced by "-inv.djm"; column numbers, or the
      wavelength from START to END in Angstrom.
  composite FOLDER --pictures 3|5|7 [--sort] [--signed]
      Writes c3_/c5_/c7_ + name: the mean of each frame and its neighbours
      in list order. Prints WRITTEN <n> SKIPPED <n>.
  bzero FOLDER --bzero TEXT --bscale TEXT [--sort]
      Rewrites the BZERO and BSCALE cards of every listed file in place
      (columns 10 to 30). Prints REWRITTEN <n> SKIPPED <n>.

--signed everywhere reads with "Non Sign Integer" unticked (BZERO is
subtracted). Questions the application would ask are answered OK.

Exit status: 0 success, 1 the command failed, 2 wrong arguments.
)";

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        std::cout << kHelp;
        return argc < 2 ? 2 : 0;
    }
    const std::map<std::string, int (*)(const lv::cli::Args&)> commands = {
        {"info", lv::cli::info}, {"header", lv::cli::header}, {"dump", lv::cli::dump},
        {"save", lv::cli::save}, {"demo", lv::cli::demo}, {"photometry", lv::cli::photometry},
        {"auto", lv::cli::automatic}, {"dark", lv::cli::dark}, {"flat", lv::cli::flat},
        {"calibrate", lv::cli::calibrate}, {"lightcurve", lv::cli::lightcurve}, {"rewrite", lv::cli::rewrite},
        {"report", lv::cli::report}, {"aavso", lv::cli::aavso}, {"process", lv::cli::process}, {"fit", lv::cli::fit},
        {"curve", lv::cli::curve}, {"composite", lv::cli::composite}, {"bzero", lv::cli::bzero},
    };
    const auto it = commands.find(argv[1]);
    if (it == commands.end()) {
        std::cerr << "lumavist-cli: unknown command '" << argv[1] << "' (see lumavist-cli --help)\n";
        return 2;
    }
    return it->second(lv::cli::Args(argv + 2, argv + argc));
}
