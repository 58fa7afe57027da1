#!/usr/bin/env bash
# Measures how long a stop takes: 30 copies of one 12 MP photo are converted three at a
# time; after DELAY seconds the run gets SIGINT, and the time from the signal until the
# converter has exited (after its last worker is gone) is printed, along with what the
# output folder holds then (complete outputs only, no temporary files).
# Usage: bench/batch/stop_latency.sh [BIN] [RUNS] [DELAY]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=${1:-$root/build/bin/velquist-convert}
runs=${2:-5}
delay=${3:-1.5}
# The shared test files sit beside the repository, or beside the folder of its worktrees.
photo=shared/testdata/heic/mde_IMG_1034.heic
[ -e "$root/../$photo" ] || [ ! -e "$root/../../$photo" ] || photo=../$photo
input=${VELQUIST_BENCH_INPUT:-$root/../$photo}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/home"
for i in $(seq -w 1 30); do cp "$input" "$work/in/photo$i.heic"; done
for run in $(seq 1 "$runs"); do
  rm -rf "$work/out"
  HOME=$work/home XDG_DATA_HOME=$work/home/.local/share \
    "$bin" -o "$work/out" "$work/in" >"$work/log" 2>&1 &
  pid=$!
  sleep "$delay"
  start=$(date +%s%N)
  kill -INT "$pid"
  wait "$pid" || true
  end=$(date +%s%N)
  hidden=$(find "$work/out" -name '.*' | wc -l)
  done_files=$(find "$work/out" -name '*.jpg' | wc -l)
  printf 'run %d: stop to exit %d ms, %d outputs, %d temporary files\n' "$run" \
    $(((end - start) / 1000000)) "$done_files" "$hidden"
done
