#!/usr/bin/env bash
# SIGKILL in the middle of a registration load (Argon2id at the interactive
# cost, loopback only, bounded): every registration answered with "ret" 0
# must log in after the restart, and the database must pass integrity_check.
# Usage: service/bench/crash.sh <build dir> [seconds of load, default 8]
set -euo pipefail
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
BUILD=${1:?build dir}
SECONDS_OF_LOAD=${2:-8}
BIN="$BUILD/bin/velquist-service"
WORK=$(mktemp -d)
PID=""
trap '[[ -n "$PID" ]] && kill -9 "$PID" 2>/dev/null; rm -rf "$WORK"' EXIT

start() {
  : >"$WORK/out"
  # Four clients on one address ask for far more codes than one address may.
  "$BIN" --listen 127.0.0.1:0 --data-dir "$WORK" --access-log off \
    --sms-per-address-hour 1000000 --sms-per-hour 0 >"$WORK/out" 2>>"$WORK/err" &
  PID=$!
  for _ in $(seq 50); do grep -q 'sms outbox' "$WORK/out" 2>/dev/null && break; sleep 0.1; done
  URL=$(awk '/listening on/ {print $4}' "$WORK/out")
}

client() { # first phone number; appends "phone" lines of ret-0 answers to ok.<n>
  local phone=$1
  while :; do
    curl -s -m 10 "$URL/v1/smsnotify/register/$phone" >/dev/null || return 0
    local code
    code=$(awk -v p="$phone" '$1 == p {c = $2} END {print c}' "$WORK/sms-outbox.txt")
    local reply
    reply=$(curl -s -m 30 -X POST "$URL/v1/register" \
      -d "{\"mobilephone\":\"$phone\",\"password\":\"pw-$phone\",\"code\":\"$code\"}") || return 0
    [[ "$reply" == *'"ret":0}' ]] && echo "$phone" >>"$WORK/ok.$1"
    phone=$((phone + 1))
  done
}

start
echo "service at $URL, load for $SECONDS_OF_LOAD s"
for base in 13100000000 13200000000 13300000000 13400000000; do client $base & done
sleep "$SECONDS_OF_LOAD"
kill -9 "$PID"
wait "$PID" 2>/dev/null || true
wait
cat "$WORK"/ok.* >"$WORK/ok" 2>/dev/null || true
echo "answered ret 0 before SIGKILL: $(wc -l <"$WORK/ok")"

start
echo "logins failing after restart: $(count_failed_logins "$URL" "$WORK/ok")"
echo "users in the database: $(sqlite3 "$WORK/service.db" 'SELECT COUNT(*) FROM users')"
echo "integrity_check: $(sqlite3 "$WORK/service.db" 'PRAGMA integrity_check')"
echo "journal_mode: $(sqlite3 "$WORK/service.db" 'PRAGMA journal_mode')"
