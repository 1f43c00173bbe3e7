#!/usr/bin/env bash
# The Windows desktop program: Qt for Windows (built once into the cache,
# scripts/mingw-qt.sh), cfitsio and ERFA for mingw, then lumavist.exe and
# lumavist-cli.exe cross-built against them, put together with the Qt DLLs,
# the platform plugin and the mingw run-time DLLs in dist/lumavist-windows/
# and zipped as dist/lumavist-<version>-windows-x64.zip.
#   scripts/package-windows.sh
# The Qt build lives in $LUMAVIST_QT_WINDOWS (default ~/.cache/lumavist/qt6-mingw).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
command -v zip >/dev/null || {
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends zip >/dev/null
}
qt="$(realpath -m "${LUMAVIST_QT_WINDOWS:-$HOME/.cache/lumavist/qt6-mingw}")"
scripts/mingw-qt.sh "$qt"
scripts/mingw-cfitsio.sh build-win-deps/cfitsio
scripts/mingw-erfa.sh build-win-deps/erfa
scripts/build.sh build-win-gui -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-shared.cmake -DLUMAVIST_GUI=ON \
  -DLUMAVIST_TESTS=OFF -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr \
  -DLUMAVIST_CFITSIO_PREFIX="$PWD/build-win-deps/cfitsio" -DLUMAVIST_ERFA_PREFIX="$PWD/build-win-deps/erfa" >/dev/null

version=$(sed -n 's/^#define LUMAVIST_VERSION_TEXT "\(.*\)"/\1/p' src/core/version.h)
dist=dist/lumavist-windows
rm -rf "$dist"
mkdir -p "$dist/platforms"
cp build-win-gui/app/lumavist.exe build-win-gui/cli/lumavist-cli.exe "$dist/"
for dll in Qt6Core Qt6Gui Qt6Widgets; do cp "$qt/bin/$dll.dll" "$dist/"; done
cp "$qt/plugins/platforms/qwindows.dll" "$dist/platforms/"
# The C++ run-time of the posix thread model, which the program and Qt share.
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do cp "$runtime/$dll" "$dist/"; done
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$dist/"
cp README.md "$dist/README.md"
cp LICENSE "$dist/LICENSE.txt"
# Every DLL the programs and the plugin ask for is beside them or is Windows' own.
missing=0
for f in "$dist"/*.exe "$dist"/*.dll "$dist"/platforms/*.dll; do
  for dep in $(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p'); do
    [ -f "$dist/$dep" ] && continue
    case "${dep,,}" in
      kernel32.dll|user32.dll|gdi32.dll|shell32.dll|ole32.dll|oleaut32.dll|advapi32.dll|msvcrt.dll|ws2_32.dll|\
      winmm.dll|imm32.dll|uxtheme.dll|dwmapi.dll|version.dll|netapi32.dll|userenv.dll|comdlg32.dll|\
      shlwapi.dll|setupapi.dll|wtsapi32.dll|d3d9.dll|dxgi.dll|d3d11.dll|mpr.dll|authz.dll|winspool.drv|\
      dwrite.dll|shcore.dll|\
      api-ms-win-*) ;;
      *) echo "$f needs $dep, which is not in the package"; missing=1 ;;
    esac
  done
done
[ "$missing" -eq 0 ]
zip="dist/lumavist-$version-windows-x64.zip"
rm -f "$zip"
(cd dist && zip -qr "$(basename "$zip")" lumavist-windows)
echo "$zip: $(du -h "$zip" | cut -f1), $(ls "$dist" | wc -l) files"
