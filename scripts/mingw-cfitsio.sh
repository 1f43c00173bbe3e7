#!/usr/bin/env bash
# cfitsio for the Windows cross-build: Debian 12's own source of the library
# (the same 4.2.0 the native build links), checked against the checksum its
# Debian source description gives, built once as a static library with
# mingw-w64 and Debian's mingw zlib.
#   scripts/mingw-cfitsio.sh PREFIX
# Leaves include/ and lib/libcfitsio.a under PREFIX; does nothing when they
# are there already.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/debian-source.sh
prefix="$(realpath -m "$1")"
if [ -f "$prefix/lib/libcfitsio.a" ] && [ -f "$prefix/include/fitsio.h" ]; then
  exit 0
fi

version=4.2.0
tarball="cfitsio_${version}.orig.tar.gz"
sha256=eba53d1b3f6e345632bb09a7b752ec7ced3d63ec5153a848380f3880c5d61889
work="$prefix.work"
rm -rf "$work"
mkdir -p "$work"
echo "Fetching Debian's cfitsio $version source for the Windows build"
fetch_debian_source main/c/cfitsio "$tarball" "$sha256" "$work"
tar -xzf "$work/$tarball" -C "$work"

cmake -S "$work/cfitsio-$version" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DUSE_CURL=OFF -DUSE_PTHREADS=OFF -DTESTS=OFF -DUTILS=OFF >/dev/null
cmake --build "$work/build" -j2 >/dev/null
cmake --install "$work/build" >/dev/null
rm -rf "$work"
test -f "$prefix/lib/libcfitsio.a"
