#!/usr/bin/env bash
# Prints the bundled sample document (red and black text and shapes on three
# A4 pages) through the whole driver: a private CUPS scheduler run by you
# (no root needed), an LR880 queue with the driver's PPD, CUPS's rendering,
# the rasterizer rastercodec, the filter rastersend and the printer emulator,
# which draws every page the printer receives as a PNG.
#
#   scripts/demo.sh [OUTDIR] [--network] [--scale N] [FILE...]
#
# OUTDIR defaults to ./demo-output. --network uses the LR880N queue and the
# network builds; --scale N shrinks the page images N times (default 1: the
# printer's full 600 dpi raster, 4960 x 7016 for A4). Builds what it needs
# into $KOLVEX_BUILD_DIR (default ./build) first.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${KOLVEX_BUILD_DIR:-$here/build}"
out="$PWD/demo-output"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  out="$(mkdir -p "$1" && cd "$1" && pwd)"
  shift
fi

# The packages the build and the private print system need (only what is missing).
bash "$here/scripts/install-deps.sh"

generator=()
command -v ninja >/dev/null && [ ! -f "$build/CMakeCache.txt" ] && generator=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if ! cmake --build "$build" --target print_demo -j "$(nproc)" >/dev/null; then
  echo "demo: cannot build print_demo in $build; it needs the areas filter, rastercodec," >&2
  echo "      tools and e2e and KOLVEX_BUILD_TESTS=ON (the defaults)." >&2
  exit 1
fi

exec "$build/tests/e2e/print_demo" "$out" "$@"
