#!/usr/bin/env bash
# The Windows package as an observer gets it: unzipped into a fresh folder,
# lumavist-cli.exe writes the demo night under wine, and lumavist.exe opens a
# demo frame under wine on a virtual X server. Fails unless the main window
# and the image window appear, with the frame drawn (its greys counted on a
# picture of the screen, kept as docs/windows-desktop.png).
#   scripts/check-windows.sh [ZIP]
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(sed -n 's/^#define LUMAVIST_VERSION_TEXT "\(.*\)"/\1/p' src/core/version.h)
zip=$(realpath "${1:-dist/lumavist-$version-windows-x64.zip}")
# The picture of the screen is taken by our own small Qt tool.
grab=$(scripts/screen-tool.sh)
need=()
command -v wine64 >/dev/null || [ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
command -v xwininfo >/dev/null || need+=(x11-utils)
command -v unzip >/dev/null || need+=(unzip)
command -v openbox >/dev/null || need+=(openbox)
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

work=$(mktemp -d)
xvfb=""; app=""; wm=""
trap '[ -n "$app" ] && kill "$app" 2>/dev/null; [ -n "$wm" ] && kill "$wm" 2>/dev/null; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; WINEPREFIX="$work/wine" wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work/unzipped"
dir="$work/unzipped/lumavist-windows"
export WINEPREFIX="$work/wine" WINEDEBUG=-all

cd "$work"

Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(tr -d '\n' <"$work/display")"
# A window manager, as on a desktop: the windows get their frames and places.
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 0.5
# The prefix is made on the screen, so that wine takes the screen's size.
"$wine" wineboot -i >/dev/null 2>&1 || true
"$wine" "$dir/lumavist-cli.exe" demo night >/dev/null 2>&1
[ -f night/demo_0001.fit ] || { echo "lumavist-cli.exe demo wrote no frames"; exit 1; }
"$wine" "$dir/lumavist-cli.exe" --version 2>/dev/null | tr -d '\r'
# The program chooses its own platform, whatever a caller set for tests.
env -u QT_QPA_PLATFORM "$wine" "$dir/lumavist.exe" "night/demo_0001.fit" >/dev/null 2>&1 &
app=$!
titles=""
for _ in $(seq 120); do
  # A window that goes while the tree is walked (wine makes and drops some
  # as it starts) fails the walk: it is walked again a second later.
  titles=$(xwininfo -root -tree 2>/dev/null | sed -n 's/^ *0x[0-9a-f]* "\([^"]*\)".*/\1/p' || true)
  if grep -q "^Lumavist ver$version" <<<"$titles" && grep -q "demo_0001.fit" <<<"$titles"; then break; fi
  sleep 1
done
sleep 3  # the picture drawn after the window appears
shot="$OLDPWD/docs/windows-desktop.png"
status=0
QT_QPA_PLATFORM=xcb "$grab" "$shot" || status=$?
grep -q "^Lumavist ver$version" <<<"$titles" || { echo "the main window did not appear"; status=1; }
grep -q "demo_0001.fit" <<<"$titles" || { echo "the image window did not appear"; status=1; }
[ "$status" -eq 0 ] && echo "lumavist.exe under wine: the main window and the image window, the frame drawn ($shot)"
exit "$status"
