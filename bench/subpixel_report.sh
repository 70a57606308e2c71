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
  "$bin/rigflow" --truth "$work/$1/truth.yaml" "$dir" | sed -n '/== Compared/,$p' | tail -n +3
}

scene default
scene noisy --noise 6 --blur 1.2
scene pinhole --distortion 0
for s in default noisy pinhole; do
  calibrate "$s" 0
  calibrate "$s" 1
done
