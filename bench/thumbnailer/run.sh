#!/usr/bin/env bash
# Thumbnails per second as a file manager asks for them (one process per file, sizes 128,
# 256 and 512) over the shared photos that decode, velquist-thumbnailer against
# ImageMagick's `convert FILE -thumbnail SxS`, the peer a user would otherwise have.
# One run each, sequential; the ratios are velquist's rates over ImageMagick's, per second
# of wall time and per second of processor time.
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

# "wall cpu" seconds for thumbnailing every input once with velquist or the peer; processor
# seconds (the children's user + system time, from bash's `times`) say more than wall
# time on a machine other work shares.
time_all() {
  local start cpu
  start=$(date +%s%N)
  cpu=$(bash -c '
    tool=$1 size=$2 ours=$3 peer=$4 out=$5
    shift 5
    i=0
    for f in "$@"; do
      i=$((i + 1))
      if [ "$tool" = ours ]; then
        "$ours" -s "$size" "$f" "$out/$i.png"
      else
        "$peer" "$f" -thumbnail "${size}x$size" "$out/$i.png"
      fi
    done
    times >"$out/times" # in this shell: a pipe would ask a subshell without children
    tail -1 "$out/times"' _ "$1" "$2" "$ours" "$peer" "$out" "${inputs[@]}")
  awk -v ns=$(($(date +%s%N) - start)) -v cpu="$cpu" 'BEGIN {
    split(cpu, t, /[ms ]+/)
    print ns / 1e9, t[1] * 60 + t[2] + t[3] * 60 + t[4] }'
}

echo "${#inputs[@]} photos from $photos, one run each; ImageMagick: $("$peer" -version | head -1)"
printf '%-5s %12s %12s %7s %14s %14s %7s\n' size velquist/s convert/s ratio \
  velquist/cpu-s convert/cpu-s ratio
for size in $sizes; do
  read -r aw ac < <(time_all ours "$size")
  read -r bw bc < <(time_all peer "$size")
  awk -v n=${#inputs[@]} -v s="$size" -v aw="$aw" -v ac="$ac" -v bw="$bw" -v bc="$bc" 'BEGIN {
      printf "%-5s %12.2f %12.2f %6.1fx %14.2f %14.2f %6.1fx\n",
        s, n / aw, n / bw, bw / aw, n / ac, n / bc, bc / ac }'
done
