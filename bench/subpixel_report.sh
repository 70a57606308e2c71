#!/usr/bin/env bash
# Accuracy report of the sub-pixel corner mode: the whole calibration of generated scenes
# with known truth, with the mode off (the default whole-pixel corners) and on.
# Usage: bench/subpixel_report.sh [BUILD_DIR]   (default: build; the programs must be built)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bin="$root/${1:-build}/bin"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

scene() {  # name, tagforge options...
  local name="$1"; shift
  "$bin/tagforge" scene --out "$work/$name" --views 12 --seed 5 "$@" >/dev/null
}
calibrate() {  # scene name, subpixel 0|1
  local dir="$work/$1-$2"
  mkdir -p "$dir"
  cp -r "$work/$1/data" "$work/$1/images" "$work/$1/projection.png" "$dir/"
  printf 'camera_images = images/cam%%03d.png\nprojector_images = images/proj%%03d.png\nsubpixel = %s\n' "$2" > "$dir/rigflow.cfg"
  echo "---- $1, subpixel $2"
  # A run that does not trust its result exits non-zero: say so, show its comparison anyway
  # and go on with the other scenes; the report then ends non-zero.
  local status=0
  "$bin/rigflow" --truth "$work/$1/truth.yaml" "$dir" >"$dir/rigflow.log" 2>&1 || status=$?
  sed -n '/== Compared/,$p' "$dir/rigflow.log" | tail -n +3
  if [ "$status" -ne 0 ]; then
    echo "rigflow exited with status $status; its findings:"
    grep -E 'FAILED|rigflow: ' "$dir/rigflow.log" | head -n 5 || true
    failures=$((failures + 1))
  fi
}
failures=0

scene default
scene noisy --noise 6 --blur 1.2
scene pinhole --distortion 0
for s in default noisy pinhole; do
  calibrate "$s" 0
  calibrate "$s" 1
done
[ "$failures" -eq 0 ] || { echo "$failures run(s) did not trust their result" >&2; exit 1; }
