#!/usr/bin/env bash
# Regenerates the reference images of the end-to-end tests from the current build. Run it only when a
# change of the rendered picture is intended, and look at every image before committing it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build --preset default --target zephrin ZephrinRenderer Zephrin
for scene in tests/data/scenes/*.json; do
  name=$(basename "$scene" .json)
  build/bin/zephrin render "$scene" -o "tests/data/reference/$name.png"
done

# The effect's controls as `zephrin editor` draws them: both languages, and the banner after the example
# gestures.
build/bin/zephrin editor examples/bent_banner.json --layer Banner -o tests/data/reference/editor_banner_en.png
build/bin/zephrin editor examples/bent_banner.json --layer Banner --lang zh \
  -o tests/data/reference/editor_banner_zh.png
edited=$(mktemp -d)
build/bin/zephrin editor examples/bent_banner.json --layer Banner --actions examples/gestures/bend.json \
  -o "$edited/edited.json" --panel tests/data/reference/editor_banner_gestures.png
rm -rf "$edited"
