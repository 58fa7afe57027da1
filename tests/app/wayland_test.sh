#!/usr/bin/env bash
# Runs the window's Wayland tests under a headless weston of their own.
# usage: wayland_test.sh APP_TESTS
set -uo pipefail
tests=$1
runtime=$(mktemp -d)
chmod 700 "$runtime"
weston_pid=
cleanup() {
  [[ -n $weston_pid ]] && kill "$weston_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$runtime"
}
trap cleanup EXIT
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket=wayland-vq \
  --width=1280 --height=800 --idle-time=0 >"$runtime/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 100); do
  [[ -S $runtime/wayland-vq ]] && break
  sleep 0.1
done
if [[ ! -S $runtime/wayland-vq ]]; then
  echo "weston did not start:" >&2
  cat "$runtime/weston.log" >&2
  exit 1
fi
# An absolute socket path: the tests give themselves a runtime folder of their own.
unset DISPLAY
WAYLAND_DISPLAY=$runtime/wayland-vq QT_QPA_PLATFORM=wayland "$tests" --gtest_filter='OnWayland.*'
