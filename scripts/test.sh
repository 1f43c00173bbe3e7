#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice:
# a release build, then a build under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen

scripts/build.sh build -DLUMAVIST_TESTS=ON
(cd build && ctest --output-on-failure -j2)

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAVIST_SANITIZE=ON -DLUMAVIST_TESTS=ON
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2)
echo "All tests passed (release and sanitizer builds)."
