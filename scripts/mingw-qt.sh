#!/usr/bin/env bash
# Qt 6 for the Windows desktop program: Debian 12's own source of qt6-base
# (6.4.2, the version of the host tools of qt6-base-dev-tools), checked
# against the checksum its Debian source description gives, cross-built
# once with mingw-w64: Core, Gui, Widgets and the Windows platform plugin.
#   scripts/mingw-qt.sh [PREFIX]
# PREFIX defaults to $LUMAVIST_QT_WINDOWS, else ~/.cache/lumavist/qt6-mingw.
# The build's log is PREFIX.log. Does nothing when PREFIX holds a finished
# build (the build takes some 25 minutes on two cores; a second run, none).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/debian-source.sh
prefix="$(realpath -m "${1:-${LUMAVIST_QT_WINDOWS:-$HOME/.cache/lumavist/qt6-mingw}}")"
if [ -f "$prefix/.lumavist-complete" ]; then
  exit 0
fi

version=6.4.2
tarball="qt6-base_${version}+dfsg.orig.tar.xz"
sha256=4f14b89a9463a540fd84a6718b8519a2297119b454ef547721015a9e9019ae9e
work="$prefix.work"
log="$prefix.log"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$(dirname "$log")"
echo "Fetching Debian's qt6-base $version source for the Windows desktop build (log: $log)"
fetch_debian_source main/q/qt6-base "$tarball" "$sha256" "$work"
tar -xJf "$work/$tarball" -C "$work"
src="$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -1)"

echo "Building Qt $version for Windows in $work (some 25 minutes on two cores)"
mkdir -p "$work/build"
(
  cd "$work/build"
  # Debian's source leaves out the wintab headers, so tablet events are off;
  # the rest is what the program does not use.
  "$src/configure" -prefix "$prefix" -xplatform win32-g++ -qt-host-path /usr -release -shared \
    -nomake tests -nomake examples -no-opengl -no-dbus -no-icu \
    -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-freetype -qt-harfbuzz \
    -no-feature-tabletevent -no-feature-sql -no-feature-network -no-feature-testlib \
    -no-feature-printsupport -no-feature-concurrent -no-feature-xml \
    -- -DCMAKE_TOOLCHAIN_FILE="$OLDPWD/cmake/mingw-w64-shared.cmake" \
    -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo
  cmake --build . --parallel 2
  cmake --install .
) >"$log" 2>&1 || { echo "The Qt build failed: see $log"; exit 1; }
test -f "$prefix/bin/Qt6Widgets.dll"
test -f "$prefix/plugins/platforms/qwindows.dll"
rm -rf "$work"
touch "$prefix/.lumavist-complete"
echo "Qt for Windows is in $prefix"
