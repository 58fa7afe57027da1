#!/usr/bin/env bash
# Builds the converter and its benchmark, then compares it on one 12 MP photo with the
# in-process floor, ImageMagick and libvips. Usage: bench/run.sh [REPETITIONS] [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
reps=${1:-5}
build=${2:-$root/build-bench}
# The shared test files sit beside the repository, or beside the folder of its worktrees.
photo=shared/testdata/heic/mde_IMG_1034.heic
[ -e "$root/../$photo" ] || [ ! -e "$root/../../$photo" ] || photo=../$photo
input=${VELQUIST_BENCH_INPUT:-$root/../$photo}
for tool in convert vips; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh --bench)"; exit 1; }
done
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIST_BUILD_GUI=OFF -DVELQUIST_BUILD_TESTS=OFF -DVELQUIST_BUILD_SERVICE=OFF >/dev/null
cmake --build "$build" -j2 --target velquist-convert-bench >/dev/null
"$build/bin/velquist-convert-bench" "$input" "$reps"
