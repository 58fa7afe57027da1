#!/usr/bin/env bash
# Thumbnails per second as a file manager asks for them (one process per file, sizes 128,
# 256 and 512) over the shared photos that decode, velquist-thumbnailer against
# ImageMagick's `convert FILE -thumbnail SxS`, the peer a user would otherwise have.
# One run each, sequential; the ratio is velquist's rate over ImageMagick's.
# Usage: bench/thumbnailer/run.sh [SIZES] [BUILD_DIR]   e.g. run.sh "256" build
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
sizes=${1:-128 256 512}
build=${2:-$root/build-bench}
# The shared test files sit beside the repository, or beside the folder of its worktrees.
photos=shared/testdata/heic
[ -e "$root/../$photos" ] || [ ! -e "$root/../../$photos" ] || photos=../$photos
photos=${VELQUIST_BENCH_PHOTOS:-$root/../$photos}
# The real ImageMagick, not a stand-in earlier in PATH.
peer=/usr/bin/convert
[ -x "$peer" ] || peer=$(command -v convert || true)
[ -n "$peer" ] || { echo "missing convert (scripts/install-deps.sh --bench)"; exit 1; }
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIST_BUILD_GUI=OFF \
  -DVELQUIST_BUILD_TESTS=OFF -DVELQUIST_BUILD_SERVICE=OFF >/dev/null
cmake --build "$build" -j2 --target velquist-thumbnailer >/dev/null
ours=$build/bin/velquist-thumbnailer
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The photos both programs can make a picture of (broken and VVC files drop out).
inputs=()
for f in "$photos"/*.hei[cf]; do
  if "$ours" -s 64 "$f" "$out/probe.png" 2>/dev/null &&
    "$peer" "$f" -thumbnail 64x64 "$out/probe.png" 2>/dev/null; then
    inputs+=("$f")
  fi
done
[ ${#inputs[@]} -gt 0 ] || { echo "no decodable photos in $photos"; exit 1; }

now() { date +%s%N; }
# Nanoseconds for thumbnailing every input once with the given command prefix.
time_all() {
  local size=$1 start i
  shift
  start=$(now)
  for i in "${!inputs[@]}"; do
    "$@" "$size" "${inputs[$i]}" "$out/$i.png"
  done
  echo $(($(now) - start))
}
ours_cmd() { "$ours" -s "$1" "$2" "$3"; }
peer_cmd() { "$peer" "$2" -thumbnail "$1x$1" "$3"; }

echo "${#inputs[@]} photos from $photos, one run each; ImageMagick: $("$peer" -version | head -1)"
printf '%-6s %16s %16s %8s\n' size velquist/s convert/s ratio
for size in $sizes; do
  a=$(time_all "$size" ours_cmd)
  b=$(time_all "$size" peer_cmd)
  awk -v n=${#inputs[@]} -v a="$a" -v b="$b" -v s="$size" \
    'BEGIN { printf "%-6s %16.2f %16.2f %7.1fx\n", s, n / (a / 1e9), n / (b / 1e9), b / a }'
done
