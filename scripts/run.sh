#!/usr/bin/env bash
# Installs what is missing, builds, writes the demo observing run into
# demo-data/ on the first start and opens its first frame in Lumavist.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DLUMAVIST_TESTS=OFF
if [ ! -f demo-data/demo_0001.fit ]; then
  build/cli/lumavist-cli demo demo-data
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to show windows on; here is the first demo frame as the engine reads it:"
  build/cli/lumavist-cli info demo-data/demo_0001.fit
  exit 0
fi
# The settings file lives in the folder the application starts from.
cd demo-data
exec ../build/app/lumavist demo_0001.fit
