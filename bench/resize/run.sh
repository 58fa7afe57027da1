#!/usr/bin/env bash
# Measures shrinking while converting on a 12-megapixel phone photo: the CPU time of one
# conversion to JPEG at full size and with --max-size (the worker alone, no batch driver),
# and the quality of the shrunk picture against libvips' `thumbnail` of the same photo at
# the same size (PSNR over RGB, ImageMagick's compare).
# Usage: bench/resize/run.sh [REPS] [SIZE] [BUILD_DIR]
# Needs vips (libvips-tools) and compare (imagemagick).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
reps=${1:-5}
size=${2:-1920}
build=${3:-$root/build-bench}
# The shared test files sit beside the repository, or beside the folder of its worktrees.
photo=shared/testdata/heic/mde_IMG_1034.heic
[ -e "$root/../$photo" ] || [ ! -e "$root/../../$photo" ] || photo=../$photo
input=${VELQUIST_BENCH_INPUT:-$root/../$photo}
for tool in vips compare; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (libvips-tools, imagemagick)" >&2; exit 1; }
done
# An existing build folder (a worktree's own) is built as configured.
[ -e "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIST_BUILD_GUI=OFF \
  -DVELQUIST_BUILD_TESTS=OFF -DVELQUIST_BUILD_SERVICE=OFF >/dev/null
cmake --build "$build" -j2 --target velquist-convert >/dev/null
convert="$build/bin/velquist-convert"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A one-shot worker's request (the engine's record, see src/tasks/conversion_request.h):
# FORMAT MAX_SIZE DECODE_THREADS OUTPUT, at quality 90 with the Exif data kept and no
# header facts (the worker reads the header itself).
request() {
  printf '%s\0' 29 1 "$1" 90 1 0 "$2" 0 1 "$3" 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 \
    "$input" "$4" > "$work/request"
}

# CPU seconds (user + system) of REPS conversions; the worker runs on one thread.
cpu_seconds() {
  local total=0 t
  request "$1" "${2:-0}" 0 "$work/out.$1"
  for _ in $(seq "$reps"); do
    /usr/bin/time -o "$work/time" -f "%U %S" "$convert" --worker < "$work/request" \
      >/dev/null 2>&1
    t=$(awk '{print $1 + $2}' "$work/time")
    total=$(awk -v a="$total" -v b="$t" 'BEGIN {print a + b}')
  done
  echo "$total"
}

full=$(cpu_seconds jpg)
shrunk=$(cpu_seconds jpg "$size")
awk -v f="$full" -v s="$shrunk" -v n="$reps" -v z="$size" 'BEGIN {
  printf "jpg full size:   %.3f s CPU per photo\n", f / n
  printf "jpg to %d px: %.3f s CPU per photo (%+.1f%%)\n", z, s / n, (s / f - 1) * 100 }'

vips thumbnail "$input" "$work/reference.png" "$size" --size down
for format in jpg png; do
  request "$format" "$size" -1 "$work/shrunk.$format"
  "$convert" --worker < "$work/request" >/dev/null 2>&1
  psnr=$(compare -metric PSNR "$work/shrunk.$format" "$work/reference.png" null: 2>&1 || true)
  echo "$format to $size px against vips thumbnail: PSNR $psnr dB"
done
