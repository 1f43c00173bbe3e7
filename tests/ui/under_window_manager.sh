#!/usr/bin/env bash
# Runs window tests on a virtual X server with a window manager, where a
# window's frame and its inside differ as on a desktop:
#   tests/ui/under_window_manager.sh TEST_BINARY [GTEST_FILTER]
set -euo pipefail
binary=$1
filter=${2:-*UnderAWindowManager*}
for tool in Xvfb openbox; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 1; }
done
display=:$((90 + RANDOM % 900))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$wm" "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
DISPLAY=$display openbox --sm-disable >/dev/null 2>&1 &
wm=$!
sleep 0.5
# Under the sanitizers: what the X11 libraries keep until exit is theirs.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/x11_leaks.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
DISPLAY=$display LUMAVIST_TEST_QPA=xcb "$binary" --gtest_filter="$filter"
