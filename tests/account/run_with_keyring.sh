#!/bin/sh
# Runs a test program against a real Secret Service: a private D-Bus session with its
# own GNOME Keyring in a temporary HOME, its login keyring created and unlocked from
# standard input, so no prompt (and no display) is needed: it works headless, as root in
# CI, and never touches the user's own keyring. An empty password would leave the
# daemon without a default keyring, and every store would ask a prompt that cannot show.
# Everything ends with the session, and within the time limit in any case.
set -eu
home=$(mktemp -d "${TMPDIR:-/tmp}/velquist-keyring-XXXXXX")
trap 'rm -rf "$home"' EXIT INT TERM
mkdir -m 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
  XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/run"
unset DISPLAY WAYLAND_DISPLAY GNOME_KEYRING_CONTROL
status=0
timeout -k 5 120 dbus-run-session -- sh -c '
  printf "velquist-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 3
  exec "$@"' keyring "$@" || status=$?
exit "$status"
