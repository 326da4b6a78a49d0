#!/usr/bin/env bash
# Checks that every project include points down the layering: the renderer's folders follow its
# pipeline, common/ stands below both plug-ins, and the effect never reaches into the renderer.
# Prints each offending line as file:line and exits 1 when there is one.
# Usage: scripts/check-includes.sh [SOURCE_ROOT]   (default: the tree this script lives in)
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root"

# Renderer folders each folder may include besides itself, common/ and sdk/. Read top to bottom as
# the pipeline: the driver hands a frame to collection and to paint (and lets the frame-to-frame
# stores go at shutdown); paint runs the stages and the GPU passes; a stage may use the records of
# an earlier stage and the shared texture, runtime and scene layers; the GPU passes read stage
# records only. Nothing includes upward, and scene/ holds only the frame's records.
declare -A allowed=(
  [driver]="collect frame geometry runtime scene"
  [collect]="geometry texture runtime scene"
  [frame]="geometry raster shadows shading post gpu texture runtime scene"
  [gpu]="raster shadows shading texture runtime scene"
  [geometry]="texture runtime scene"
  [raster]="geometry texture runtime scene"
  [shadows]="geometry raster texture runtime scene"
  [shading]="geometry raster shadows texture runtime scene"
  [post]="geometry raster shadows shading texture runtime scene"
  [texture]="runtime scene"
  [runtime]="scene"
  [scene]=""
)

# Sets `area` to the area of a path: the renderer's folder (renderer/<folder>/...) or the top folder.
area_of() {
  local path="$1"
  if [[ "$path" == renderer/*/* ]]; then
    local rest="${path#renderer/}"
    area="renderer/${rest%%/*}"
  else
    area="${path%%/*}"
  fi
}

# Whether code in area $1 may include a file of area $2.
may_include() {
  local from="$1" to="$2"
  [[ "$from" == "$to" ]] && return 0
  case "$from" in
    common) [[ "$to" == sdk ]] ;;
    effect) [[ "$to" == common || "$to" == sdk ]] ;;
    renderer/*)
      [[ "$to" == common || "$to" == sdk ]] && return 0
      [[ "$to" == renderer/* ]] || return 1
      local stage="${from#renderer/}" target="${to#renderer/}"
      [[ -v "allowed[$stage]" ]] || return 1
      [[ " ${allowed[$stage]} " == *" $target "* ]]
      ;;
    *) return 0 ;;
  esac
}

failures=0
unknown=0
for folder in "${!allowed[@]}"; do
  [[ -d "renderer/$folder" ]] || { echo "check-includes: renderer/$folder is in the table but not in the tree" >&2; unknown=1; }
done
for dir in renderer/*/; do
  folder="$(basename "$dir")"
  [[ -v "allowed[$folder]" ]] || { echo "check-includes: renderer/$folder has no entry in the table" >&2; unknown=1; }
done

while IFS= read -r match; do
  file="${match%%:*}"
  rest="${match#*:}"
  line="${rest%%:*}"
  text="${rest#*:}"
  [[ "$text" =~ \"([^\"]+)\" ]] || continue
  target="${BASH_REMATCH[1]}"
  area_of "$file"; from="$area"
  area_of "$target"; to="$area"
  if ! may_include "$from" "$to"; then
    echo "$file:$line: $from may not include $target"
    failures=$((failures + 1))
  fi
done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' renderer common effect | sort)

if ((failures > 0)); then
  echo "check-includes: $failures include(s) point against the layering" >&2
  exit 1
fi
exit "$unknown"
