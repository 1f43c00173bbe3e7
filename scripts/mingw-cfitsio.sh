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
prefix="$(realpath -m "$1")"
if [ -f "$prefix/lib/libcfitsio.a" ] && [ -f "$prefix/include/fitsio.h" ]; then
  exit 0
fi

version=4.2.0
tarball="cfitsio_${version}.orig.tar.gz"
sha256=eba53d1b3f6e345632bb09a7b752ec7ced3d63ec5153a848380f3880c5d61889
# Debian's pool, then the snapshot of it this machine's apt sources name.
urls=("http://deb.debian.org/debian/pool/main/c/cfitsio/$tarball"
      "http://snapshot.debian.org/archive/debian/20250520T000000Z/pool/main/c/cfitsio/$tarball")

work="$prefix.work"
rm -rf "$work"
mkdir -p "$work"
echo "Fetching Debian's cfitsio $version source for the Windows build"
fetched=0
for url in "${urls[@]}"; do
  if curl -fsSL --retry 3 -o "$work/$tarball" "$url"; then fetched=1; break; fi
done
[ "$fetched" -eq 1 ] || { echo "cannot fetch $tarball"; exit 1; }
echo "$sha256  $work/$tarball" | sha256sum -c --quiet -
tar -xzf "$work/$tarball" -C "$work"

cmake -S "$work/cfitsio-$version" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DUSE_CURL=OFF -DUSE_PTHREADS=OFF -DTESTS=OFF -DUTILS=OFF >/dev/null
cmake --build "$work/build" -j2 >/dev/null
cmake --install "$work/build" >/dev/null
rm -rf "$work"
test -f "$prefix/lib/libcfitsio.a"
