#!/usr/bin/env bash
# On a machine with a real GPU: builds what the GPU checks need, says which adapters the renderer
# sees, runs the GPU tests (a hardware adapter is always preferred to the software one the tests
# admit) and prints the GPU benchmark at 4K.
# Usage: scripts/gpu-device-check.sh [bench repeats]   (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target zephrin ZephrinRenderer gpu_tests zephrin_gpu_bench
build/bin/zephrin info --gpu
ctest --preset default -L gpu -j2
build/bin/zephrin_gpu_bench "${1:-3}"
