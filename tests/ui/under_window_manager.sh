#!/usr/bin/env bash
# Runs window tests on a virtual X server with a window manager, where a
# window's frame and its inside differ as on a desktop:
#   tests/ui/under_window_manager.sh TEST_BINARY [GTEST_FILTER]
# LUMAVIST_SCREEN sets the screen's size (default 1920x1080).
# Exits 77 (skipped) where there is no Xvfb or openbox, or when the tests
# did not run on X11.
set -euo pipefail
binary=$1
filter=${2:-*UnderAWindowManager*}
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
done
work=$(mktemp -d)
wm=""
trap '[ -n "$wm" ] && kill "$wm" 2>/dev/null; kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
# The server picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 "${LUMAVIST_SCREEN:-1920x1080}x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
display=":$(tr -d '\n' <"$work/display")"
DISPLAY=$display openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 0.5
# Under the sanitizers: what the X11 libraries keep until exit is theirs.
# The leak checker reads one suppressions file, so one the caller gave is
# joined to ours.
supp="$work/leaks.supp"
cat "$(cd "$(dirname "$0")" && pwd)/x11_leaks.supp" >"$supp"
given=$(sed -n 's/.*suppressions=\([^:]*\).*/\1/p' <<<"${LSAN_OPTIONS:-}")
if [ -n "$given" ] && [ -f "$given" ]; then cat "$given" >>"$supp"; fi
rest=$(sed 's/suppressions=[^:]*:\{0,1\}//' <<<"${LSAN_OPTIONS:-}")
export LSAN_OPTIONS="suppressions=$supp${rest:+:$rest}"
status=0
DISPLAY=$display LUMAVIST_TEST_QPA=xcb "$binary" --gtest_filter="$filter" | tee "$work/out" || status=$?
[ "$status" -ne 0 ] && exit "$status"
grep -q '^\[  SKIPPED \]' "$work/out" && { echo "not run on X11: skipped"; exit 77; }
exit 0
