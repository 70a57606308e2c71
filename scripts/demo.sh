#!/usr/bin/env bash
# Sets up, builds, generates the bundled default scene (fixed seed) and calibrates it with
# the whole pipeline, printing the recovered camera and projector beside the ground truth.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/setup.sh
echo "== building"
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release >/dev/null
bin="$root/build/bin"

rm -rf demo
echo "== generating the default scene in ./demo (12 photo pairs, 1280 x 960 camera, 1024 x 768 projector)"
"$bin/tagforge" scene --out demo --views 12 --seed 1
cat > demo/rigflow.cfg <<'CFG'
# Photo series (one integer conversion each) and the board as tagforge made it.
camera_images = images/cam%03d.png
projector_images = images/proj%03d.png
mark_size = 30
mark_space_x = 10
mark_space_y = 10
CFG
echo "== calibrating"
"$bin/rigflow" --truth demo/truth.yaml demo
echo "== the report: open demo/calibration/report.html in a browser"
