#!/usr/bin/env bash
# Installs the Debian packages the toolkit builds with, when they are missing.
# scripts/setup.sh --tests adds what only the tests need.
set -euo pipefail

# opencv-doc ships the real chessboard photos the lens tests calibrate.
packages=(g++ cmake ninja-build pkg-config libopencv-dev libopencv-contrib-dev libgtest-dev libbenchmark-dev clang-format
          libceres-dev libdeflate-dev libjpeg-dev libpng-dev opencv-doc)
# The report is loaded in a real browser; the plain YAML is read by a standard YAML reader; the
# camera models and camera_info files by mrcal and ROS's parsers; dpkg-dev packs the .deb.
if [ "${1:-}" = "--tests" ]; then
  packages+=(chromium python3-yaml python3-mrcal mrcal python3-camera-calibration-parsers dpkg-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "== installing: ${missing[*]}"
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
