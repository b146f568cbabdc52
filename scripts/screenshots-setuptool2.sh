#!/usr/bin/env bash
# Screenshots of the settings tool's red margin dialog, watermark window and
# network address window (USB mode and network mode) under Xvfb, with a
# scripted printer and a temporary printers root, written as PNGs into OUTDIR
# (default ./screenshots), together with a detail of a written watermark bitmap.
#   scripts/screenshots-setuptool2.sh [OUTDIR] [BUILDDIR]
# BUILDDIR is a CMake build folder configured with the tests (default ./build);
# the picture program tests/setuptool/setuptool2_screens is built there if needed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-./screenshots}")"
build="$(realpath -m "${2:-$here/build}")"

[ -f "$build/CMakeCache.txt" ] || { echo "screenshots-setuptool2: $build is no CMake build folder" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshots-setuptool2: xvfb-run is missing" >&2; exit 1; }
cmake --build "$build" --target setuptool2_screens -j 2
mkdir -p "$out"

QT_QPA_PLATFORM=xcb timeout 300 xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/setuptool/setuptool2_screens" "$out"
