#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: a normal build (warnings as
# errors, benchmarks compiled) and an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/setup.sh --tests

echo "== format check"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

echo "== normal build"
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DTOOLKIT_WERROR=ON -DTOOLKIT_BENCH=ON
# The scenes the tests generate are kept here and copied when the same tagforge is asked for
# the same scene again (later in this pass and in the sanitizer pass, which uses this tagforge).
cache="$root/build/scene-cache"
rm -rf "$cache"
(cd build && TOOLKIT_SCENE_CACHE="$cache" ctest --output-on-failure -j2)

echo "== sanitizer build"
# -O1 as the sanitizers advise (and quicker to build); the scenes the tests generate come from
# the normal build's tagforge: they are inputs here, tagforge's own tests still run instrumented.
# Each library is compiled as one translation unit here (TOOLKIT_UNITY), file by file above.
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DTOOLKIT_WERROR=ON -DTOOLKIT_SANITIZE=ON -DTOOLKIT_UNITY=ON
# TOOLKIT_REDUCED_SAMPLE: the tests that repeat pure numerics over many noise seeds run fewer
# of them here, the joint solves of real photos fewer pairs; the full sample ran in the normal build.
(cd build-asan && TOOLKIT_SCENE_GENERATOR="$root/build/bin/tagforge" TOOLKIT_SCENE_CACHE="$cache" \
  TOOLKIT_REDUCED_SAMPLE=1 \
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2)

echo "== fuzzing (each harness briefly, on its seed corpus)"
scripts/fuzz.sh 3
