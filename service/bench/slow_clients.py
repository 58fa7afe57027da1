#!/usr/bin/env python3
"""Slow clients against a running service, loopback only, bounded in time.

Opens SLOW connections from ten loopback addresses (127.0.0.2 to 127.0.0.11),
each sending one header line every two seconds and never finishing its
request, then times ten ordinary requests (/help and /v1/upgrade_check) from
127.0.0.1 while they hold on.

Usage: service/bench/slow_clients.py PORT [SLOW=200]
"""
import socket
import sys
import threading
import time

PORT = int(sys.argv[1])
SLOW = int(sys.argv[2]) if len(sys.argv) > 2 else 200


def open_slow(index):
    sock = socket.socket()
    sock.bind(("127.0.0.%d" % (2 + index % 10), 0))
    sock.settimeout(5)
    sock.connect(("127.0.0.1", PORT))
    sock.sendall(b"GET /help HTTP/1.1\r\nHost: x\r\n")
    return sock


def drip(socks, stop):
    line = 0
    while not stop.is_set():
        for sock in socks:
            try:
                sock.sendall(b"X-Slow-%d: 1\r\n" % line)
            except OSError:
                pass
        line += 1
        stop.wait(2)


def ordinary(i):
    body = b'{"app_name":"Morvane"}'
    if i % 2 == 0:
        request = b"GET /help HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
    else:
        request = (b"POST /v1/upgrade_check HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                   b"Content-Type: application/json\r\nContent-Length: %d\r\n\r\n%s"
                   % (len(body), body))
    start = time.monotonic()
    try:
        sock = socket.create_connection(("127.0.0.1", PORT), timeout=10)
        sock.settimeout(10)
        sock.sendall(request)
        answer = sock.recv(64)
        sock.close()
        ok = answer.startswith(b"HTTP/1.1 200")
    except OSError:
        ok = False
    return ok, time.monotonic() - start


def main():
    socks = []
    for i in range(SLOW):
        try:
            socks.append(open_slow(i))
        except OSError:
            pass
    stop = threading.Event()
    dripper = threading.Thread(target=drip, args=(socks, stop))
    dripper.start()
    time.sleep(1)
    results = [ordinary(i) for i in range(10)]
    stop.set()
    dripper.join()
    for sock in socks:
        sock.close()
    answered = [t for ok, t in results if ok]
    within = [t for t in answered if t < 2]
    print("slow connections opened: %d" % len(socks))
    print("ordinary requests answered: %d of 10, within 2 s: %d, slowest: %s" % (
        len(answered), len(within), "%.3f s" % max(answered) if answered else "-"))


main()
