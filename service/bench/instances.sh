#!/usr/bin/env bash
# Two service instances on one PostgreSQL, each on its own port, loopback only:
#   1. logins per second (Argon2id at the interactive cost) with one instance,
#      then with two; each instance is pinned to a core of its own, as it would
#      have a machine of its own behind a load balancer;
#   2. update checks per second, one instance and two;
#   3. kill -9 of one instance under a registration load on both: every
#      registration answered with "ret" 0 must log in on the survivor.
# Usage: service/bench/instances.sh <build dir>   (needs wrk and the postgresql package)
set -euo pipefail
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"
BUILD=${1:?build dir}
HERE=$(cd "$(dirname "$0")" && pwd)
BIN="$BUILD/bin/velquist-service"
PGTOOL="$BUILD/bin/velquist_test_pg"
SECONDS_EACH=${SECONDS_EACH:-15}
WORK=$(mktemp -d)
PGDIR=$(mktemp -d /tmp/velquist-bench-pg-XXXXXX)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  "$PGTOOL" stop "$PGDIR" >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"$PGTOOL" start "$PGDIR"
psql -q "postgresql://postgres@/postgres?host=$PGDIR" -c "CREATE DATABASE bench"
DB="postgresql://postgres@/bench?host=$PGDIR"
NCPU=$(nproc)

start() { # name core [extra args...]; sets URL_<name>, PID_<name>
  local name=$1 core=$2
  shift 2
  mkdir -p "$WORK/$name"
  taskset -c "$core" "$BIN" --listen 127.0.0.1:0 --data-dir "$WORK/$name" --database "$DB" \
    --access-log off --hash-parallel 1 --connections-per-address 1000 \
    --sms-per-address-hour 1000000 --sms-per-hour 0 --event-threads 1 "$@" \
    >"$WORK/$name/out" 2>"$WORK/$name/err" &
  local pid=$!
  PIDS+=("$pid")
  for _ in $(seq 100); do grep -q 'sms outbox' "$WORK/$name/out" 2>/dev/null && break; sleep 0.1; done
  printf -v "URL_$name" '%s' "$(awk '/listening on/ {print $4}' "$WORK/$name/out")"
  printf -v "PID_$name" '%s' "$pid"
}

cpu() { # pid -> CPU seconds used so far
  awk -v hz="$(getconf CLK_TCK)" '{printf "%.2f", ($14 + $15) / hz}' "/proc/$1/stat"
}
used() { # before after -> difference
  awk -v a="$2" -v b="$1" 'BEGIN {printf "%.1f", a - b}'
}

rate() { # wrk output -> requests/s
  awk '/Requests\/sec/ {print $2}'
}

login_wrk() { # url
  WRK_PATH="/v1/login?timestamp=1" WRK_BODY="{\"mobilephone\":\"$PHONE\",\"password\":\"right-pw\"}" \
    wrk -t1 -c8 -d"${SECONDS_EACH}"s --timeout 20s -s "$HERE/post.lua" "$1" | rate
}
upgrade_wrk() { # url
  WRK_PATH="/v1/upgrade_check?timestamp=1" WRK_BODY='{"app_name":"Morvane"}' \
    wrk -t1 -c32 -d"${SECONDS_EACH}"s --timeout 10s -s "$HERE/post.lua" "$1" | rate
}

start a 0
start b $((NCPU > 1 ? 1 : 0))
echo "instances at $URL_a and $URL_b on one PostgreSQL"

PHONE=13700001234
register_phone "$URL_a" "$WORK/a/sms-outbox.txt" "$PHONE" right-pw "$URL_b"

# On a shared machine the CPU time each instance got is part of the figure.
ca=$(cpu "$PID_a")
one=$(login_wrk "$URL_a")
echo "logins/s, one instance: $one (instance CPU $(used "$ca" "$(cpu "$PID_a")") s in ${SECONDS_EACH} s)"
ca=$(cpu "$PID_a")
cb=$(cpu "$PID_b")
login_wrk "$URL_a" >"$WORK/la" &
side=$!
login_wrk "$URL_b" >"$WORK/lb"
wait "$side"
two=$(awk '{s += $1} END {print s}' "$WORK/la" "$WORK/lb")
echo "logins/s, two instances: $two (ratio $(awk -v a="$two" -v b="$one" 'BEGIN {printf "%.2f", a / b}');" \
  "instance CPU $(used "$ca" "$(cpu "$PID_a")") s + $(used "$cb" "$(cpu "$PID_b")") s)"

one=$(upgrade_wrk "$URL_a")
echo "update checks/s, one instance: $one"
upgrade_wrk "$URL_a" >"$WORK/ua" &
side=$!
upgrade_wrk "$URL_b" >"$WORK/ub"
wait "$side"
two=$(awk '{s += $1} END {print s}' "$WORK/ua" "$WORK/ub")
echo "update checks/s, two instances: $two"

# Kill -9 under load: cheap hashes, so that many registrations go through.
kill -9 "$PID_a" "$PID_b"
wait "$PID_a" "$PID_b" 2>/dev/null || true
PIDS=()
start a 0 --hash-ops 1 --hash-mem-kib 64
start b $((NCPU > 1 ? 1 : 0)) --hash-ops 1 --hash-mem-kib 64

client() { # url outbox first-phone
  local url=$1 outbox=$2 phone=$3
  while :; do
    curl -s -m 10 "$url/v1/smsnotify/register/$phone" >/dev/null || return 0
    local code reply
    code=$(awk -v p="$phone" '$1 == p {c = $2} END {print c}' "$outbox")
    reply=$(curl -s -m 10 -X POST "$url/v1/register" \
      -d "{\"mobilephone\":\"$phone\",\"password\":\"pw-$phone\",\"code\":\"$code\"}") || return 0
    [[ "$reply" == *'"ret":0}' ]] && echo "$phone" >>"$WORK/ok.$3"
    phone=$((phone + 1))
    [[ -e "$WORK/stop" ]] && return 0
  done
}
CLIENTS=()
client "$URL_a" "$WORK/a/sms-outbox.txt" 13100000000 &
CLIENTS+=($!)
client "$URL_a" "$WORK/a/sms-outbox.txt" 13200000000 &
CLIENTS+=($!)
client "$URL_b" "$WORK/b/sms-outbox.txt" 13300000000 &
CLIENTS+=($!)
client "$URL_b" "$WORK/b/sms-outbox.txt" 13400000000 &
CLIENTS+=($!)
sleep 5
kill -9 "$PID_a"
echo "instance a killed; b keeps serving"
sleep 3
touch "$WORK/stop"
wait "${CLIENTS[@]}" 2>/dev/null || true
cat "$WORK"/ok.* >"$WORK/ok" 2>/dev/null || true
echo "registrations answered ret 0 (both instances): $(wc -l <"$WORK/ok")"
echo "acknowledged registrations that do not log in on the survivor: $(count_failed_logins "$URL_b" "$WORK/ok")"
echo "users in the database: $(psql -qtA "$DB" -c 'SELECT COUNT(*) FROM users')"
