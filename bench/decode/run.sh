#!/usr/bin/env bash
# Builds and runs the decoder benchmark: libde265 against libavcodec, then libheif's tile
# threads per job for 1-3 jobs at once. Usage: bench/decode/run.sh [REPS] [COPIES] [WHAT] [BUILD_DIR]
# (WHAT: decoders, threads or all)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
reps=${1:-5}
copies=${2:-6}
what=${3:-all}
build=${4:-$root/build-bench}
# The shared test files sit beside the repository, or beside the folder of its worktrees.
photo=shared/testdata/heic/mde_IMG_1034.heic
[ -e "$root/../$photo" ] || [ ! -e "$root/../../$photo" ] || photo=../$photo
input=${VELQUIST_BENCH_INPUT:-$root/../$photo}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIST_BUILD_GUI=OFF \
  -DVELQUIST_BUILD_TESTS=OFF -DVELQUIST_BUILD_SERVICE=OFF >/dev/null
cmake --build "$build" -j2 --target velquist-decode-bench >/dev/null
"$build/bin/velquist-decode-bench" "$input" "$reps" "$copies" "$what"
