#!/usr/bin/env bash
# Builds the batch converter and its benchmark (optimised as the program ships), then
# converts 12 copies of one 12 MP photo three at a time with it, the in-process floor,
# ImageMagick and libvips. velquist-convert runs twice, with libavcodec and with libde265
# decoding HEVC, so that both sit beside libvips in one run.
# Usage: bench/batch/run.sh [COPIES] [FORMATS] [BUILD_DIR] [RUNS]  e.g. run.sh 12 jpg,bmp "" 3
# (RUNS interleaved runs per measurement, the fastest counts; an empty BUILD_DIR is the default)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
copies=${1:-12}
formats=${2:-jpg,png,bmp}
runs=${4:-1}
build=${3:-$root/build-bench}
# The shared test files sit beside the repository, or beside the folder of its worktrees.
photo=shared/testdata/heic/mde_IMG_1034.heic
[ -e "$root/../$photo" ] || [ ! -e "$root/../../$photo" ] || photo=../$photo
input=${VELQUIST_BENCH_INPUT:-$root/../$photo}
for tool in convert vips; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh --bench)"; exit 1; }
done
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIST_BUILD_GUI=OFF \
  -DVELQUIST_BUILD_TESTS=OFF -DVELQUIST_BUILD_SERVICE=OFF >/dev/null
cmake --build "$build" -j2 --target velquist-batch-bench >/dev/null
"$build/bin/velquist-batch-bench" "$input" "$copies" "$formats" "$runs"
