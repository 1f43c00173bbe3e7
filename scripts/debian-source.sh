# Sourced by the mingw-*.sh scripts: fetch_debian_source POOL TARBALL SHA256 DIR
# fetches Debian's source TARBALL from the pool folder POOL (for example
# main/c/cfitsio) into DIR, from Debian's pool or else the snapshot of it this
# machine's apt sources name, and checks it against SHA256 (the checksum the
# Debian source description gives).
fetch_debian_source() {
  local pool="$1" tarball="$2" sha256="$3" dir="$4"
  local urls=("http://deb.debian.org/debian/pool/$pool/$tarball"
              "http://snapshot.debian.org/archive/debian/20250520T000000Z/pool/$pool/$tarball")
  local url
  for url in "${urls[@]}"; do
    if curl -fsSL --retry 3 -o "$dir/$tarball" "$url"; then
      echo "$sha256  $dir/$tarball" | sha256sum -c --quiet -
      return
    fi
  done
  echo "cannot fetch $tarball"
  return 1
}
