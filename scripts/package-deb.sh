#!/usr/bin/env bash
# The Debian package: the tree build-deb installed under /usr (the two
# programs, the desktop entry and icon, the man page of lumavist-cli made
# from its help, the README and the licence) and packed by CPack as
# dist/lumavist_<version>_amd64.deb with its run-time dependencies declared.
#   scripts/package-deb.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# The man page's maker and CPack's tools for a .deb.
need=()
for p in help2man dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
scripts/build.sh build-deb -DLUMAVIST_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
mkdir -p dist
(cd build-deb && cpack -G DEB -B "$PWD/../dist" >/dev/null)
rm -rf dist/_CPack_Packages
deb=$(ls -t dist/lumavist_*_amd64.deb | head -1)
echo "$deb: $(du -h "$deb" | cut -f1)"
dpkg-deb --field "$deb" Package Version Depends
