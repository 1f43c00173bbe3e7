#!/usr/bin/env bash
# Writes docs/gallery/<screen>/: a picture of every window as it first opens
# (and of the windows one command opens together, on the whole screen) under
# a window manager on a virtual X server, at 1366 x 768 and 1920 x 1080.
# Builds first when needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DLUMAVIST_TESTS=ON >/dev/null
for screen in 1366x768 1920x1080; do
  out="$PWD/docs/gallery/$screen"
  rm -rf "$out"
  LUMAVIST_SCREEN=$screen LUMAVIST_GALLERY="$out" \
    tests/ui/under_window_manager.sh build/tests/window_layout_tests 'Gallery.*'
  echo "$(ls "$out" | wc -l) pictures in docs/gallery/$screen"
done
