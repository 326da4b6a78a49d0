#!/usr/bin/env bash
# Sets up, builds and runs the tests of one CMake preset, or of all of them in turn: the optimised
# build, the address + undefined-behaviour sanitizer build, the thread sanitizer build (only the
# renderer and host tests, where the worker threads run, are built and run) and the clang build. The
# tests that start a real cluster or browser run in the optimised build only, the GPU tests also under
# the address sanitizer (CMakePresets.json).
# Usage: scripts/test.sh [default|asan|tsan|clang|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
which="${1:-all}"
run_preset() {
  echo "== preset $1"
  scripts/setup.sh "$1"
  cmake --build --preset "$1"
  ctest --preset "$1" -j2
}
case "$which" in
  default|asan|tsan|clang) run_preset "$which" ;;
  all) for preset in default asan tsan clang; do run_preset "$preset"; done ;;
  *) echo "usage: scripts/test.sh [default|asan|tsan|clang|all]" >&2; exit 2 ;;
esac
