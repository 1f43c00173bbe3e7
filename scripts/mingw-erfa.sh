#!/usr/bin/env bash
# ERFA for the Windows cross-build: Debian 12's own source of the library
# (the same 2.0.0 the native build links as liberfa-dev), checked against
# the checksum its Debian source description gives, built once as a static
# library with mingw-w64.
#   scripts/mingw-erfa.sh PREFIX
# Leaves include/erfa.h (with the headers it includes) and lib/liberfa.a under PREFIX;
# does nothing when they are there already.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/debian-source.sh
prefix="$(realpath -m "$1")"
if [ -f "$prefix/lib/liberfa.a" ] && [ -f "$prefix/include/erfa.h" ]; then
  exit 0
fi

version=2.0.0
tarball="erfa_${version}.orig.tar.gz"
sha256=e40f5175604c50c46fded7f9f76565dd5879a7f4ee27fa4484c2af217b7dfeb4
work="$prefix.work"
rm -rf "$work"
mkdir -p "$work/objects"
echo "Fetching Debian's ERFA $version source for the Windows build"
fetch_debian_source main/e/erfa "$tarball" "$sha256" "$work"
tar -xzf "$work/$tarball" -C "$work"

# The library is plain C files beside its headers; its test programs are left out.
src="$work/erfa-$version/src"
for c in "$src"/*.c; do
  case "$(basename "$c")" in t_erfa_c*.c) continue ;; esac
  # The version macros the library's configure script would define (configure.ac).
  x86_64-w64-mingw32-gcc -O2 -I"$src" -DPACKAGE_VERSION='"2.0.0"' -DPACKAGE_VERSION_MAJOR=2 \
    -DPACKAGE_VERSION_MINOR=0 -DPACKAGE_VERSION_MICRO=0 -DSOFA_VERSION='"20210512"' \
    -c "$c" -o "$work/objects/$(basename "$c" .c).o"
done
mkdir -p "$prefix/lib" "$prefix/include"
x86_64-w64-mingw32-ar rcs "$prefix/lib/liberfa.a" "$work"/objects/*.o
cp "$src"/*.h "$prefix/include/"
rm -rf "$work"
test -f "$prefix/lib/liberfa.a"
