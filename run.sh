#!/usr/bin/env bash
# Installs what is missing, builds Velquist and starts it.
# Arguments are handed to the program (with no window yet, to the converter).
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

BIN="$BUILD_DIR/bin"
if [[ -x "$BIN/velquist" ]]; then
  exec "$BIN/velquist" "$@"
fi
if [[ $# -eq 0 ]]; then
  "$BIN/velquist-convert" --help
  exit 0
fi
exec "$BIN/velquist-convert" "$@"
