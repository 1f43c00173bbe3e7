#!/usr/bin/env bash
# The Debian package on a clean Debian 12: a minimal root made by debootstrap
# (once, kept in $LUMAVIST_DEB_ROOT, default ~/.cache/lumavist/bookworm-root,
# and copied afresh for every check), the package installed there with
# apt-get as an observer would, lumavist-cli demo and info run in it, and
# lumavist started in it on a demo frame on a virtual X server; a picture of
# the screen is kept as docs/debian-desktop.png.
#   scripts/check-deb.sh [DEB]
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "${1:-$(ls -t dist/lumavist_*_amd64.deb | head -1)}")
# The picture of the screen is taken by our own small Qt tool.
grab=$(scripts/screen-tool.sh)
[ "$(id -u)" -eq 0 ] || { echo "the check needs root (debootstrap and chroot)"; exit 1; }
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >/dev/null
command -v xwininfo >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends x11-utils >/dev/null

pristine="$(realpath -m "${LUMAVIST_DEB_ROOT:-$HOME/.cache/lumavist/bookworm-root}")"
if [ ! -f "$pristine/.lumavist-complete" ]; then
  rm -rf "$pristine"
  echo "Making a minimal Debian 12 root in $pristine (once)"
  debootstrap --variant=minbase bookworm "$pristine" http://deb.debian.org/debian >"$pristine.log" 2>&1 ||
    { echo "debootstrap failed: see $pristine.log"; exit 1; }
  touch "$pristine/.lumavist-complete"
fi
work=$(mktemp -d)
root="$work/root"
xvfb=""; app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  for m in tmp/.X11-unix dev/pts dev proc; do umount -l "$root/$m" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$pristine" "$root"
rm -f "$root/.lumavist-complete"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
in_root apt-get update -q >/dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1 ||
  { tail -20 "$work/install.log"; exit 1; }
echo "installed: $(in_root dpkg-query -W -f='${Package} ${Version}' lumavist)"
in_root lumavist-cli --version
in_root sh -c 'cd /tmp && lumavist-cli demo night >/dev/null && lumavist-cli info night/demo_0001.fit' | head -3
in_root test -f /usr/share/applications/lumavist.desktop
in_root test -f /usr/share/icons/hicolor/scalable/apps/lumavist.svg
in_root sh -c 'zcat /usr/share/man/man1/lumavist-cli.1.gz | head -1' >/dev/null

# The desktop program in the clean root, drawing on the host's virtual screen.
Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
display=":$(tr -d '\n' <"$work/display")"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/tmp LANG=C.UTF-8 DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  sh -c 'cd /tmp && exec lumavist night/demo_0001.fit' >"$work/app.log" 2>&1 &
app=$!
titles=""
for _ in $(seq 60); do
  # A window that goes while the tree is walked fails the walk: walked again.
  titles=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null | sed -n 's/^ *0x[0-9a-f]* "\([^"]*\)".*/\1/p' || true)
  if grep -q "^Lumavist ver" <<<"$titles" && grep -q "demo_0001.fit" <<<"$titles"; then break; fi
  sleep 0.5
done
sleep 2
status=0
DISPLAY=$display QT_QPA_PLATFORM=xcb "$grab" docs/debian-desktop.png || status=$?
grep -q "^Lumavist ver" <<<"$titles" || { echo "the main window did not appear"; cat "$work/app.log"; status=1; }
grep -q "demo_0001.fit" <<<"$titles" || { echo "the image window did not appear"; status=1; }
[ "$status" -eq 0 ] && echo "lumavist in a clean Debian 12 root: the main window and the image window, the frame drawn (docs/debian-desktop.png)"
exit "$status"
