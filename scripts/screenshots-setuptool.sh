#!/usr/bin/env bash
# Pictures of the settings tool's launcher, of each tab of the fingerprint
# manager and of the password dialog, drawn under Xvfb with a scripted printer.
#   scripts/screenshots-setuptool.sh [BUILD_DIR] [OUTPUT_DIR]
# BUILD_DIR defaults to build (configured with tests), OUTPUT_DIR to
# demo-out/setuptool.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
out="${2:-$here/demo-out/setuptool}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -DKOLVEX_AREAS="usblink;setuptool"
fi
cmake --build "$build" --target setuptool_screenshots -j 2

mkdir -p "$out"
xvfb-run -a -s "-screen 0 1024x768x24" \
  env QT_QPA_PLATFORM=xcb "$build/tests/setuptool/setuptool_screenshots" "$out"
