#!/usr/bin/env bash
# The studio in a real browser: installs the locked playwright-core into the build folder (never into
# the sources) and runs the browser script against the built `zephrin`.
# Usage: run_studio_browser_test.sh ZEPHRIN SOURCE_DIR WORK_DIR
set -euo pipefail
zephrin="$1"
source_dir="$2"
work_dir="$3"
here="$source_dir/tests/apps/studio"
mkdir -p "$work_dir"
if [ ! -d "$work_dir/node_modules/playwright-core" ] || ! cmp -s "$here/package-lock.json" "$work_dir/package-lock.json"; then
  cp "$here/package.json" "$here/package-lock.json" "$work_dir/"
  (cd "$work_dir" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error)
fi
rm -rf "$work_dir/run"
mkdir -p "$work_dir/run"
NODE_PATH="$work_dir/node_modules" node "$here/studio_browser_test.js" "$zephrin" \
  "$source_dir/examples/bent_banner.json" "$work_dir/run"
