#!/usr/bin/env bash
# Load figures for the service, loopback only and bounded in time:
#   0. /help, 64 connections, 30 s;
#   1. upgrade_check, 64 connections, 30 s;
#   2. login with the right password (Argon2id at the interactive cost);
#   3. login with wrong passwords, then the right one: the lockout must hold.
# Usage: service/bench/load.sh <build dir>   (needs wrk: install-deps.sh --bench)
# SERVICE_BIN=<executable> measures another build (an older one, for a ratio);
# SERVICE_ARGS adds settings (e.g. "--event-threads 4").
set -euo pipefail
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
BUILD=${1:?build dir}
HERE=$(cd "$(dirname "$0")" && pwd)
BIN=${SERVICE_BIN:-"$BUILD/bin/velquist-service"}
# wrk's 64 connections all come from one address; the cap per address would refuse most.
EXTRA=()
if "$BIN" --help | grep -q connections-per-address; then
  EXTRA=(--connections-per-address 256)
fi
WORK=$(mktemp -d)
trap 'kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT

# shellcheck disable=SC2086
"$BIN" --listen 127.0.0.1:0 --data-dir "$WORK" --access-log off "${EXTRA[@]}" ${SERVICE_ARGS:-} \
  >"$WORK/out" 2>"$WORK/err" &
PID=$!
for _ in $(seq 50); do grep -q 'sms outbox' "$WORK/out" 2>/dev/null && break; sleep 0.1; done
URL=$(awk '/listening on/ {print $4}' "$WORK/out")
echo "service at $URL"

PHONE=13700001234
register_phone "$URL" "$WORK/sms-outbox.txt" "$PHONE" right-pw

# CPU seconds the service used so far. On a shared machine req/s follows the
# share of the cores the service got, so requests per CPU second are given too.
cpu_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{printf "%.2f", ($14 + $15) / hz}' "/proc/$PID/stat"
}
measure() { # the wrk command line
  local before out
  before=$(cpu_seconds)
  out=$("$@")
  echo "$out"
  echo "$out" | awk -v used="$(awk -v a="$(cpu_seconds)" -v b="$before" 'BEGIN {print a - b}')" \
    '/requests in/ {printf "service CPU: %.1f s, %.0f requests per CPU second\n", used, $1 / used}'
}

run_wrk() { # connections seconds path body
  WRK_PATH=$3 WRK_BODY=$4 measure wrk -t2 -c"$1" -d"$2"s --timeout 10s --latency -s "$HERE/post.lua" "$URL"
}

echo "== /help, 64 connections, 30 s"
measure wrk -t2 -c64 -d"${HELP_SECONDS:-30}"s --timeout 10s --latency "$URL/help"

echo "== upgrade_check, 64 connections, 30 s"
run_wrk 64 ${UPGRADE_SECONDS:-30} "/v1/upgrade_check?timestamp=1" '{"app_name":"Morvane"}'

if [[ "${LOGINS:-on}" == off ]]; then
  exit 0
fi
echo "== login, right password, 16 connections, 15 s"
run_wrk 16 15 "/v1/login?timestamp=1" "{\"mobilephone\":\"$PHONE\",\"password\":\"right-pw\"}"

echo "== login, wrong password, 16 connections, 15 s"
run_wrk 16 15 "/v1/login?timestamp=1" "{\"mobilephone\":\"$PHONE\",\"password\":\"wrong-pw\"}"
echo "== right password right after the wrong ones (expect ret 400004):"
curl -s -X POST "$URL/v1/login" -d "{\"mobilephone\":\"$PHONE\",\"password\":\"right-pw\"}"
echo
echo "service peak RSS: $(awk '/VmHWM/ {print $2, $3}' /proc/$PID/status)"
