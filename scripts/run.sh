#!/usr/bin/env bash
# Installs what is missing, builds, writes the demo observing run into
# demo-data/ and opens its first frame.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
if [ ! -f demo-data/demo_0001.fit ]; then
  build/cli/lumavist-cli demo demo-data
fi
build/cli/lumavist-cli info demo-data/demo_0001.fit
