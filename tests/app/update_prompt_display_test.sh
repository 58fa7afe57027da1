#!/usr/bin/env bash
# Starts the real program again and again on an X display with a window manager and a
# compositor while the service offers a newer version, and checks every time that the
# start-up update prompt is mapped on the display and can be answered, and that the
# window can be closed afterwards. Every few starts the prompt is unmapped behind the
# program's back, as a window manager that lost it would leave it, and must come back.
#
# usage: update_prompt_display_test.sh VELQUIST VELQUIST_SERVICE [STARTS]
# Run it on a display of its own (xvfb-run); it starts openbox and xcompmgr there.
set -uo pipefail

VELQUIST=$1
SERVICE=$2
STARTS=${3:-${VELQUIST_PROMPT_STARTS:-20}}
PROMPT_TITLE='^提示$'
# The titles looked for are the Chinese ones.
export LANGUAGE=zh_CN LC_ALL=C.UTF-8

work=$(mktemp -d)
pids=()
pid=
cleanup() {
  for p in "${pids[@]}" $pid; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A home of its own: configuration, credentials and the single-instance lock.
export HOME=$work/home
export XDG_DATA_HOME=$HOME/data XDG_CONFIG_HOME=$HOME/config XDG_RUNTIME_DIR=$HOME/runtime
mkdir -p "$XDG_DATA_HOME/Morvane/Config" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$HOME/Pictures"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

data=$work/service
mkdir -p "$data/installers"
printf '{"Morvane": {"app_version": "9.9.9", "download_url": "/download/Velquist-9.9.9.run", "force_upgrade": 0}}\n' \
  >"$data/manifest.json"
"$SERVICE" --listen 127.0.0.1:0 --data-dir "$data" --hash-ops 1 --hash-mem-kib 64 \
  >"$work/service.log" 2>&1 &
pids+=($!)
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.log" | head -1)
  [[ -n $port ]] && break
  sleep 0.1
done
[[ -n $port ]] || fail "the service did not start: $(cat "$work/service.log")"
printf '[global]\nservice-url=http://127.0.0.1:%s\n' "$port" >"$XDG_DATA_HOME/Morvane/Config/configure.ini"

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
if command -v xcompmgr >/dev/null; then
  xcompmgr >/dev/null 2>&1 &
  pids+=($!)
fi
sleep 0.5

# The program's top-level client window titled like $2, or nothing.
find_window() {
  xdotool search --all --pid "$1" --name "$2" 2>/dev/null | head -1
}

is_viewable() {
  xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# Waits up to $2 tenths of a second for the command in the remaining arguments.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

prompt_viewable() {
  box=$(find_window "$pid" "$PROMPT_TITLE")
  [[ -n $box ]] && is_viewable "$box"
}

main_found() {
  main=$(find_window "$pid" '^Velquist$')
  [[ -n $main ]]
}

prompt_gone() {
  [[ -z $(find_window "$pid" "$PROMPT_TITLE") ]]
}

describe() {
  echo "--- windows of the program:" >&2
  for w in $(xdotool search --pid "$pid" 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -E 'xwininfo|Map State' >&2
  done
}

for start in $(seq "$STARTS"); do
  "$VELQUIST" >"$work/velquist.log" 2>&1 &
  pid=$!
  box=
  if ! wait_for 150 prompt_viewable; then
    describe
    fail "start $start: the update prompt is not mapped after 15 s${box:+ (window $box)}"
  fi
  if ((start % 5 == 0)); then
    xdotool windowunmap "$box"
    wait_for 50 prompt_viewable || { describe; fail "start $start: an unmapped prompt stayed away"; }
  fi
  # Answered from the keyboard as a user would: "取消" by Escape.
  xdotool windowactivate --sync "$box" >/dev/null 2>&1
  xdotool key --clearmodifiers Escape
  wait_for 50 prompt_gone || { describe; fail "start $start: the prompt did not answer Escape"; }
  main=
  wait_for 50 main_found || { describe; fail "start $start: no main window"; }
  # The main window answers its close button (no modal loop left behind).
  xdotool windowactivate --sync "$main" >/dev/null 2>&1
  xdotool key --clearmodifiers alt+F4
  if ! wait_for 100 bash -c "! kill -0 $pid 2>/dev/null"; then
    describe
    kill -9 "$pid"
    fail "start $start: the window did not close"
  fi
  wait "$pid" 2>/dev/null
  echo "start $start: prompt mapped, answered, window closed"
done
echo "PASS: $STARTS starts"
