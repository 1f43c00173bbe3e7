#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite twice:
# a release build, then a build under AddressSanitizer and
# UndefinedBehaviorSanitizer; then cross-builds the CLI for Windows and runs
# every fuzz target for a short time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

export QT_QPA_PLATFORM=offscreen

scripts/build.sh build -DLUMAVIST_TESTS=ON
(cd build && ctest --output-on-failure -j2)

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMAVIST_SANITIZE=ON -DLUMAVIST_TESTS=ON
leaks="$PWD/tests/sanitizer/leaks.supp"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$leaks" UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2)
# The engine and the CLI for Windows, cross-compiled; their results under
# wine are compared with the native CLI's when wine is there.
scripts/mingw-cfitsio.sh build-win-deps/cfitsio
scripts/mingw-erfa.sh build-win-deps/erfa
scripts/build.sh build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DLUMAVIST_GUI=OFF -DLUMAVIST_TESTS=OFF \
  -DLUMAVIST_CFITSIO_PREFIX="$PWD/build-win-deps/cfitsio" -DLUMAVIST_ERFA_PREFIX="$PWD/build-win-deps/erfa"
if command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ]; then
  tests/windows/cli_under_wine.sh build-win/cli/lumavist-cli.exe build/cli/lumavist-cli
else
  echo "wine is not installed: the Windows CLI was built but not run."
fi
# The Windows desktop program, packaged and run under wine, where Qt for
# Windows is already built (its build takes some 25 minutes, once).
qt_windows="${LUMAVIST_QT_WINDOWS:-$HOME/.cache/lumavist/qt6-mingw}"
if [ -f "$qt_windows/.lumavist-complete" ]; then
  scripts/package-windows.sh
  scripts/check-windows.sh
else
  echo "Qt for Windows is not built in $qt_windows: the Windows desktop program was not packaged nor run" \
    "(scripts/package-windows.sh builds Qt once, then the package)."
fi
# Every fuzz target for 20 s on its seeds (and what earlier runs kept); a
# crash or a broken invariant fails the command.
scripts/fuzz.sh 20
echo "All tests passed (release, sanitizer, Windows and fuzz builds)."
