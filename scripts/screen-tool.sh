#!/usr/bin/env bash
# Prints the path of the package checks' screen tool (build/tests/screen_check),
# building it first when the tree has none.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/tests/screen_check ]; then
  scripts/setup.sh >&2
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --target screen_check >/dev/null
fi
realpath build/tests/screen_check
