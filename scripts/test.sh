#!/usr/bin/env bash
# Builds the package and runs every test twice: once in a normal build and
# once with AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/test.sh            both configurations
#   scripts/test.sh --quick    the normal build only
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"

bash scripts/install-deps.sh

jobs=$(nproc)
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

run_config() {
  local dir=$1; shift
  cmake -S . -B "$dir" "${generator[@]}" -DKOLVEX_WERROR=ON "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 300)
}

run_config build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" != "--quick" ]; then
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$here/tests/lsan.supp"
  run_config build-asan -DCMAKE_BUILD_TYPE=Debug -DKOLVEX_SANITIZE=ON
fi
