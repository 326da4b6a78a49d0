#!/usr/bin/env bash
# Sets up, builds, and renders the bundled showcase scene to out/showcase.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh default
cmake --build --preset default --target zephrin ZephrinRenderer
mkdir -p out
build/bin/zephrin render examples/showcase.json -o out/showcase.png
