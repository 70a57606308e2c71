#!/usr/bin/env bash
# Sets up, builds, and runs the toolkit's main job on the bundled default in ./demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
bin="$root/build/bin"

rm -rf demo && mkdir demo && cd demo
echo "== kinemix: the projector pose relative to the camera"
printf '100 0 1000 0 0 0\n' > cam_pose.txt        # board seen by the camera
printf '350 20 1100 0 -15 2\n' > proj_pose.txt    # board seen by the projector
echo "\$ kinemix -i hf:cam_pose.txt -t hf:proj_pose.txt -o cam_to_proj.txt -g cam_to_proj_gl.txt"
"$bin/kinemix" -i hf:cam_pose.txt -t hf:proj_pose.txt -o cam_to_proj.txt -g cam_to_proj_gl.txt
echo "cam_to_proj.txt:    $(cat cam_to_proj.txt)"
echo "cam_to_proj_gl.txt: $(cat cam_to_proj_gl.txt)"
