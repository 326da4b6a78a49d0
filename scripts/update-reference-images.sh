#!/usr/bin/env bash
# Regenerates the reference images of the end-to-end tests from the current build. Run it only when a
# change of the rendered picture is intended, and look at every image before committing it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset default --target zephrin ZephrinRenderer
for scene in tests/data/scenes/*.json; do
  name=$(basename "$scene" .json)
  build/bin/zephrin render "$scene" -o "tests/data/reference/$name.png"
done
