#!/usr/bin/env bash
# Sets up, builds and runs every test: the optimised build, then the sanitizer build.
# Usage: scripts/test.sh [default|asan|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
which="${1:-all}"
run_preset() {
  scripts/setup.sh "$1"
  cmake --build --preset "$1"
  ctest --preset "$1" -j2
}
case "$which" in
  default|asan) run_preset "$which" ;;
  all) run_preset default; run_preset asan ;;
  *) echo "usage: scripts/test.sh [default|asan|all]" >&2; exit 2 ;;
esac
