#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for SECONDS (default 30) on its
# seed corpus; reports executions and findings. Exits non-zero when a harness found a crash.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-30}"
scripts/setup.sh
if ! dpkg -s clang libclang-rt-14-dev >/dev/null 2>&1; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev
fi
harnesses=(camera_param pattern point_files camera_files pose_files transform_string arguments detect_markers)
# -O1 as libFuzzer advises (and quicker to build); only the harnesses and what they link are
# built, each library as one translation unit (no precompiled header needed then).
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -DNDEBUG" -DTOOLKIT_FUZZ=ON -DTOOLKIT_TESTS=OFF \
  -DTOOLKIT_PCH=OFF -DTOOLKIT_UNITY=ON >/dev/null
ninja -C build-fuzz $(printf 'fuzz_%s ' "${harnesses[@]}") >/dev/null
mkdir -p build-fuzz/corpus build-fuzz/findings
# Two harnesses at a time (one per core); the table keeps the harnesses' order.
fuzzOne() {
  local h="$1" corpus="build-fuzz/corpus/$1" status=0
  mkdir -p "$corpus"
  build-fuzz/fuzz/fuzz_"$h" "$corpus" "tests/fuzz/corpus/$h" -dict=tests/fuzz/text.dict \
    -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="build-fuzz/findings/$h-" >"build-fuzz/fuzz_$h.log" 2>&1 || status=$?
  echo "$status" >"build-fuzz/fuzz_$h.status"
}
for ((i = 0; i < ${#harnesses[@]}; i += 2)); do
  fuzzOne "${harnesses[i]}" &
  if [ $((i + 1)) -lt ${#harnesses[@]} ]; then fuzzOne "${harnesses[i + 1]}" & fi
  wait
done
failed=0
printf '%-16s %12s %10s  %s\n' harness executions coverage findings
for h in "${harnesses[@]}"; do
  log="build-fuzz/fuzz_$h.log"
  status=$(cat "build-fuzz/fuzz_$h.status")
  runs=$(grep -a 'stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -1 || true)
  cov=$(grep -a -o 'cov: [0-9]*' "$log" | tail -1 | awk '{print $2}' || true)
  found=$(ls build-fuzz/findings | grep -c "^$h-" || true)
  printf '%-16s %12s %10s  %s\n' "$h" "${runs:-?}" "${cov:-?}" "$found"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    echo "  see $log and build-fuzz/findings/$h-*" >&2
  fi
done
exit "$failed"
