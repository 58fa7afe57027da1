#!/usr/bin/env bash
# Installs what is missing, builds Velquist and starts its window.
# Without a display, arguments go to the command-line converter instead.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

BIN="$BUILD_DIR/bin"
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]] && [[ -x "$BIN/velquist" ]]; then
  exec "$BIN/velquist"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open." >&2
  echo "Convert from the command line instead: $BIN/velquist-convert -f jpg -o OUTDIR FILE.heic ..." >&2
fi
if [[ $# -eq 0 ]]; then
  "$BIN/velquist-convert" --help
  exit 0
fi
exec "$BIN/velquist-convert" "$@"
