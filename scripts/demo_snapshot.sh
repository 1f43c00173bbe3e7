#!/usr/bin/env bash
# Runs every lumavist-cli command over a fresh demo run and keeps what each
# printed (standard output, standard error, exit status) and every file the
# run wrote, so that two builds can be compared byte for byte:
#   scripts/demo_snapshot.sh CLI OUT        writes OUT/outputs and OUT/files
#   scripts/demo_snapshot.sh --compare A B  compares two snapshots (PNG files
#                                           by their pixels, everything else
#                                           by its bytes)
# The run works in /tmp/lumavist-snapshot/work, the same path for every
# build, so that the paths printed agree.
set -euo pipefail

if [ "${1:-}" = "--compare" ]; then
  a="$2"; b="$3"
  status=0
  if ! diff -r "$a/outputs" "$b/outputs"; then status=1; fi
  (cd "$a/files" && find . -type f | sort) > /tmp/lumavist-snapshot-a.list
  (cd "$b/files" && find . -type f | sort) > /tmp/lumavist-snapshot-b.list
  if ! diff /tmp/lumavist-snapshot-a.list /tmp/lumavist-snapshot-b.list; then status=1; fi
  while read -r f; do
    [ -f "$b/files/$f" ] || continue
    if cmp -s "$a/files/$f" "$b/files/$f"; then continue; fi
    case "$f" in
      *.png)
        if python3 "$(dirname "$0")/png_pixels.py" "$a/files/$f" "$b/files/$f"; then
          echo "same pixels, other bytes: $f"
        else
          echo "DIFFERENT PIXELS: $f"; status=1
        fi ;;
      *) echo "DIFFERENT: $f"; status=1 ;;
    esac
  done < /tmp/lumavist-snapshot-a.list
  [ $status -eq 0 ] && echo "The two snapshots agree."
  exit $status
fi

cli="$(realpath "$1")"
out="$(realpath -m "$2")"
root=/tmp/lumavist-snapshot/work
rm -rf "$root" "$out"
mkdir -p "$root" "$out/outputs" "$out/files"
n=0
run() {
  # run NAME ARGS...: in $root, output kept as NAME
  local name="$1"; shift
  n=$((n + 1))
  local file; file="$out/outputs/$(printf '%03d' $n)-$name"
  set +e
  (cd "$root" && "$cli" "$@") > "$file.out" 2> "$file.err"
  echo $? > "$file.rc"
  set -e
}

run demo demo D
cp -a "$root/D" "$root/pristine"
F=D/demo_0001.fit
DARK=D/calibration/dark.fit
FLAT=D/calibration/flat.fit
SPECTRUM=D/spectrum/spectrum.fit
POS=(--comp 150,100 --var 100,120 --check 200,140)
if grep -q "comparison" "$root/D/README.txt"; then
  # The positions of the demo's README: "role   x NNN  y NNN".
  read -r cx cy < <(awk '/^  comparison/ {print $3+0, $5+0}' "$root/D/README.txt")
  read -r vx vy < <(awk '/^  variable/ {print $3+0, $5+0}' "$root/D/README.txt")
  read -r kx ky < <(awk '/^  check/ {print $3+0, $5+0}' "$root/D/README.txt")
  POS=(--comp "$cx,$cy" --var "$vx,$vy" --check "$kx,$ky")
fi

run help --help
run help-short
run unknown nonsense
for f in "$F" "$DARK" "$FLAT" "$SPECTRUM" D/README.txt; do
  run info info "$f"
  run info-dialog info "$f" --dialog
  run info-signed info "$f" --signed
done
run header header "$F"
run header-spectrum header "$SPECTRUM"
run dump dump "$DARK"
run dump-signed dump "$F" --signed
for b in 8 16 32; do run save save "$F" "out_$b.fit" --bitpix "$b"; run info-saved info "out_$b.fit"; done
run save-nobitpix save "$F" out_x.fit

run photometry photometry "$F" "${POS[@]}"
run photometry-square photometry "$F" "${POS[@]}" --shape square --sky aperture --size 5
run photometry-square-median photometry "$F" "${POS[@]}" --shape square --size 4 --inner 12 --outer 24
run photometry-real photometry "$F" "${POS[@]}" --real --digits 2 --position peak --span 8
run photometry-fix photometry "$F" "${POS[@]}" --position fix --star "RZ Cas" --comp-mag 10.0 --filter V --code ABC
run photometry-report photometry "$F" "${POS[@]}" --star CASRZ --comp-mag 9.5 --filter R --code XYZ --signed
run photometry-nostar photometry "$F" --comp 5,5 --var 6,6 --check 7,7 --position fix
run photometry-badsize photometry "$F" "${POS[@]}" --size 0

cp -a "$root/pristine" "$root/A"
run auto auto A "${POS[@]}" --sort
run auto-tz auto A "${POS[@]}" --sort --timezone 9 --digits 2
cp "$root/A/mag_est.txt" "$root/A/mag_est_tz.txt"
run auto-again auto A "${POS[@]}" --sort
run lightcurve lightcurve A/mag_est.txt
run lightcurve-png lightcurve A/mag_est.txt --delete 3,7 --png A/curve.png
run lightcurve-tz lightcurve A/mag_est_tz.txt
cp "$root/A/mag_est.txt" "$root/A/mag_copy.txt"
run rewrite rewrite A/mag_copy.txt --delete 2,5 --comment "a night"
run report report A/mag_est.txt --delete 4 --star CASRZ --code ABC --comp-mag 10.0 --colour V \
  --observer "somewhere" --instruments "a telescope" --outdir A
run aavso aavso A/mag_est.txt --delete 4 --star "RZ Cas" --code ABC --comp-mag 10.0 --colour V \
  --cname C1 --kname K1 --out A/aavso.txt
run aavso-ut aavso A/mag_est.txt --star "RZ Cas" --code ABC --comp-mag 10.0 --colour V --ut-offset 0 --out A/aavso0.txt

cp -a "$root/pristine" "$root/B"
run dark dark B --dark B/calibration/dark.fit --sort
run flat flat B --flat B/calibration/flat.fit --sort
run dark-bad dark B --dark B/README.txt
cp -a "$root/pristine" "$root/C"
run flat-signed flat C --flat C/calibration/flat.fit --signed

run calibrate-dark calibrate "$F" cal_dark.fit --dark "$DARK"
run calibrate-dark-minus calibrate "$F" cal_dark_minus.fit --dark "$DARK" --minus --bitpix 32
run calibrate-flat calibrate "$F" cal_flat.fit --flat "$FLAT"

ops=(--rotate --hotcool --3point --5point --shade-average --shade-median --fit5 --limb --incline-all)
for op in "${ops[@]}"; do run "process$op" process "$F" "$op" --out "p$op.fit"; done
printf '10,2\r\n20,0.5\r\n30,-1.25\r\n' > "$root/bow.csv"
run process-bow process "$F" --bow bow.csv --out p-bow.fit
run process-add process "$F" --add -100.0 --whole-file --multiply 0.5 --out p-arith.fit --bitpix 32
run process-incline-row process "$SPECTRUM" --incline-row 100 --out p-row.fit
run process-dark process "$F" --dark "$DARK" --minus --out p-dark.fit
run process-flat-undo process "$F" --flat "$FLAT" --undo --out p-undo.fit
run process-bin process "$SPECTRUM" --bin 95,105:110,112 --out p-bin.fit
run process-dump process "$DARK" --3point --dump
for k in 2 3 4 5; do run fit fit "$SPECTRUM" --row 100 --degree "$k"; done
run curve curve "$SPECTRUM" --row 100 --name curve.txt
run curve-wave curve "$SPECTRUM" --row 100 --name wave.txt --wavelength 4000,7000

for k in 3 5 7; do
  cp -a "$root/pristine" "$root/comp$k"
  run composite composite "comp$k" --pictures "$k" --sort
done
cp -a "$root/pristine" "$root/Z"
run bzero bzero Z --bzero 0 --bscale 1 --sort
run bzero-bad bzero Z --bzero abc --bscale 1

rm -rf "$root/pristine"
cp -a "$root/." "$out/files/"
echo "snapshot of $n commands in $out"
