#!/usr/bin/env bash
# Installs what is missing, builds Velquist, starts its web service when none answers
# on the default address and starts its window.
# Without a display, arguments go to the command-line converter instead.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

BIN="$BUILD_DIR/bin"
SERVICE_URL=http://127.0.0.1:8360
SERVICE_DATA="${XDG_DATA_HOME:-$HOME/.local/share}/Morvane/Service"
SIGNING_KEY="$SERVICE_DATA/update-signing.key"
SIGNING_PUB="$SERVICE_DATA/update-signing.pub"

# The window opens a downloaded installer only when a key built into it verifies the
# installer's signature. On one machine the local service plays the maker: it gets a key
# pair once, the window is built with its public half, and its installers are signed.
make_signing_keys() {
  [[ -s "$SIGNING_KEY" && -s "$SIGNING_PUB" ]] && return 0
  mkdir -p "$SERVICE_DATA"
  # A service without the subcommand refuses it as an unknown argument.
  if ! timeout 20 "$BIN/velquist-service" keygen --secret-key "$SIGNING_KEY" \
      --public-key "$SIGNING_PUB" >/dev/null 2>&1; then
    rm -f "$SIGNING_KEY" "$SIGNING_PUB"
    return 1
  fi
}

build_with_signing_key() {
  local cached
  cached=$(sed -n 's/^VELQUIST_UPDATE_KEY_FILE:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt")
  [[ "$cached" == "$SIGNING_PUB" ]] && return 0
  cmake -S . -B "$BUILD_DIR" -DVELQUIST_UPDATE_KEY_FILE="$SIGNING_PUB" >/dev/null
  cmake --build "$BUILD_DIR" -j "$(nproc)"
}

sign_local_installers() {
  local installer
  for installer in "$SERVICE_DATA/installers"/*; do
    [[ -f "$installer" && "$installer" != *.sig && ! -e "$installer.sig" ]] || continue
    "$BIN/velquist-service" sign-installer --secret-key "$SIGNING_KEY" "$installer" >/dev/null ||
      echo "Could not sign $installer; the window will refuse it." >&2
  done
}

set_up_update_signing() {
  [[ -x "$BIN/velquist-service" ]] || return 0
  if ! make_signing_keys; then
    echo "This velquist-service cannot make update signing keys; the window will refuse" >&2
    echo "every downloaded installer." >&2
    return 0
  fi
  build_with_signing_key
  sign_local_installers
}
set_up_update_signing

service_answers() {
  if command -v curl >/dev/null 2>&1; then
    curl -fsS -o /dev/null --max-time 2 "$SERVICE_URL/help" 2>/dev/null
  else
    (exec 3<>/dev/tcp/127.0.0.1/8360) 2>/dev/null
  fi
}

# Login, registration, feedback and the update check need the maker's web service; on
# one machine the reference service stands in for it at the window's default address.
# One already answering there (an earlier run, or someone's own) is left as it is.
start_service() {
  if service_answers || [[ ! -x "$BIN/velquist-service" ]]; then
    return 0
  fi
  local data="$SERVICE_DATA"
  mkdir -p "$data"
  nohup "$BIN/velquist-service" >>"$data/service.log" 2>&1 </dev/null &
  # Waited for, so the window's start-up check and automatic login already find it.
  for _ in $(seq 50); do
    service_answers && break
    sleep 0.1
  done
  if service_answers; then
    echo "Velquist service started on $SERVICE_URL (log: $data/service.log)."
    echo "SMS codes for registering are written to $data/sms-outbox.txt."
  else
    echo "The Velquist service did not start; see $data/service.log." >&2
  fi
}

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]] && [[ -x "$BIN/velquist" ]]; then
  start_service
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
