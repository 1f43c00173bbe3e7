#!/usr/bin/env bash
# The Windows build of lumavist-cli, run under wine, against the native one:
# the same demo run, the same numbers, the same report bytes (paths aside,
# whose separators and drive letters differ).
#   cli_under_wine.sh WINDOWS_EXE NATIVE_CLI
set -euo pipefail
exe=$(realpath "$1")
native=$(realpath "$2")
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A command that fails names itself, so a failed run says where it stopped.
trap 'echo "failed ($?): $BASH_COMMAND"' ERR
cd "$work"
export WINEDEBUG=-all
win() { "$wine" "$exe" "$@" 2>/dev/null | tr -d '\r'; }
failures=0
same() {  # name, native output, windows output (paths made comparable)
  local a b
  a=$(printf '%s' "$2" | sed -e 's#\\#/#g' -e 's#[A-Za-z]:/[^ ]*/##g' -e "s#$work/##g")
  b=$(printf '%s' "$3" | sed -e 's#\\#/#g' -e 's#[A-Za-z]:/[^ ]*/##g' -e "s#$work/##g")
  if [ "$a" != "$b" ]; then
    echo "DIFFERENT: $1"; diff <(echo "$a") <(echo "$b") | head -5 || true; failures=$((failures + 1))
  else
    echo "same: $1"
  fi
}
"$native" demo n >/dev/null
win demo w >/dev/null
cmp -s n/demo_0007.fit w/demo_0007.fit && echo "same: demo frame bytes" || { echo "DIFFERENT: demo frame bytes"; failures=$((failures + 1)); }
same info "$("$native" info n/demo_0007.fit)" "$(win info 'w\demo_0007.fit')"
same header "$("$native" header n/demo_0007.fit)" "$(win header 'w\demo_0007.fit')"
same dump "$("$native" dump n/calibration/dark.fit | md5sum)" \
     "$(win dump 'w\calibration\dark.fit' | md5sum)"
same photometry "$("$native" photometry n/demo_0015.fit --comp 200,290 --var 290,230 --check 320,330 --star X --comp-mag 10.5 --filter V --code Y)" \
     "$(win photometry 'w\demo_0015.fit' --comp 200,290 --var 290,230 --check 320,330 --star X --comp-mag 10.5 --filter V --code Y)"
same dark "$("$native" dark n --dark n/calibration/dark.fit --sort)" "$(win dark w --dark 'w\calibration\dark.fit' --sort)"
cmp -s n/demo_0030.fit w/demo_0030.fit && echo "same: calibrated frame bytes" || { echo "DIFFERENT: calibrated frame bytes"; failures=$((failures + 1)); }
"$native" auto n --comp 200,290 --var 290,230 --check 320,330 --sort >/dev/null
win auto w --comp 200,290 --var 290,230 --check 320,330 --sort >/dev/null
same "mag_est.txt before the paths" "$(cut -d' ' -f1-6 n/mag_est.txt)" "$(tr -d '\r' < w/mag_est.txt | cut -d' ' -f1-6)"
"$native" report n/mag_est.txt --star "DEMO VAR" --code XYZ --comp-mag 10.5 --colour V --observer "東京" --outdir n >/dev/null
win report 'w\mag_est.txt' --star "DEMO VAR" --code XYZ --comp-mag 10.5 --colour V --observer "Tokyo" --outdir w >/dev/null
same "sdata2.2" "$(cat n/sdata2.2)" "$(cat w/sdata2.2)"
# The Japanese header lines are the same Shift-JIS bytes from either build.
same "sdata2.std header" "$(head -c 20 n/sdata2.std | od -An -tx1)" "$(head -c 20 w/sdata2.std | od -An -tx1)"
if [ "$failures" -ne 0 ]; then echo "$failures difference(s) between the Windows and the native lumavist-cli"; exit 1; fi
echo "The Windows lumavist-cli under wine gives what the native one gives."
