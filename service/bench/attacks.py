#!/usr/bin/env python3
"""Hostile-client figures for one service executable, loopback only.

  service/bench/attacks.py <velquist-service executable>

Starts the service on a free port with a throwaway data folder and reports:
  1. a POST body of 1 GiB without a length, and one in chunks without a last
     chunk (then eight such at once): the status line and the service's peak
     resident memory afterwards;
  2. request smuggling patterns (a GET with a body, a length together with
     chunked): answers counted, SMS codes that went out;
  3. feedback answer times while three addresses pipeline 1,920 logins for a
     number nobody has;
  4. feedback answer times while 64 downloads are left unread.
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

SMS = "/v1/smsnotify/register/13800138000"


def start(binary, data):
    os.makedirs(os.path.join(data, "installers"), exist_ok=True)
    with open(os.path.join(data, "installers", "big.run"), "wb") as out:
        out.write(os.urandom(1 << 20) * 64)
    proc = subprocess.Popen(
        [binary, "--listen", "127.0.0.1:0", "--data-dir", data, "--access-log", "off"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    port = int(re.search(r":(\d+)\s*$", line).group(1))
    proc.stdout.readline()
    return proc, port


def peak_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def connect(port, source="127.0.0.1"):
    sock = socket.socket()
    sock.bind((source, 0))
    sock.connect(("127.0.0.1", port))
    return sock


def read_all(sock, patience):
    sock.settimeout(patience)
    data = b""
    try:
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
    except (socket.timeout, ConnectionResetError):
        pass
    return data


def endless_body(port, pid, chunked):
    sock = connect(port)
    if chunked:
        sock.sendall(b"POST /v1/feedback HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n")
        block = (b"%x\r\n" % 65536 + b"a" * 65536 + b"\r\n") * 16
    else:
        sock.sendall(b"POST /v1/feedback HTTP/1.1\r\nHost: x\r\n\r\n")
        block = b"a" * (1 << 20)
    sent = 0
    sock.settimeout(5)
    try:
        while sent < (1 << 30):
            sock.sendall(block)
            sent += len(block)
    except OSError:
        pass
    answer = read_all(sock, 2).split(b"\r\n", 1)[0].decode(errors="replace")
    sock.close()
    kind = "in chunks without a last one" if chunked else "without a length"
    print(f"1 GiB {kind}: {sent >> 20} MiB taken, answer {answer!r}, "
          f"service peak RSS {peak_kib(pid) // 1024} MiB")


def eight_endless_bodies(port, pid):
    import threading
    threads = [threading.Thread(target=endless_body, args=(port, pid, i % 2 == 1))
               for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    print(f"eight at once: service peak RSS {peak_kib(pid) // 1024} MiB")


def smuggling(port, outbox):
    inner = f"GET {SMS} HTTP/1.1\r\nHost: x\r\nX-Forwarded-For: 203.0.113.9\r\n\r\n"
    patterns = {
        "GET with a length and a body": f"GET /help/audio HTTP/1.1\r\nHost: x\r\n"
                                        f"Content-Length: {len(inner)}\r\n\r\n{inner}",
        "length and chunked": f"POST /v1/feedback HTTP/1.1\r\nHost: x\r\nContent-Length: "
                              f"{len(inner) + 5}\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n{inner}",
        "POST without a length": f"POST /v1/upgrade_check HTTP/1.1\r\nHost: x\r\n\r\n{inner}",
    }
    for name, raw in patterns.items():
        sock = connect(port)
        sock.sendall(raw.encode())
        answers = read_all(sock, 1).count(b"HTTP/1.1 ")
        sock.close()
        print(f"smuggling, {name}: {answers} answer(s)")
    codes = len(open(outbox).read().splitlines()) if os.path.exists(outbox) else 0
    print(f"SMS codes sent by smuggled requests: {codes}")


PHONES = iter(range(13800000100, 13800000999))


def feedback_times(port, label, count=6):
    times = []
    for i in range(count):
        sock = connect(port, "127.0.0.9")
        body = '{"content":"still here","contact":"x"}'
        start = time.monotonic()
        if i % 3 == 0:
            sock.sendall(f"POST /v1/feedback HTTP/1.1\r\nHost: x\r\nContent-Length: {len(body)}\r\n"
                         f"Connection: close\r\n\r\n{body}".encode())
        elif i % 3 == 1:
            sock.sendall(f"GET /v1/smsnotify/register/{next(PHONES)} HTTP/1.1\r\nHost: x\r\n"
                         f"Connection: close\r\n\r\n".encode())
        else:
            body = '{"app_name":"Morvane"}'
            sock.sendall(f"POST /v1/upgrade_check HTTP/1.1\r\nHost: x\r\nContent-Length: {len(body)}\r\n"
                         f"Connection: close\r\n\r\n{body}".encode())
        answer = read_all(sock, 30)
        took = time.monotonic() - start
        sock.close()
        status = answer[9:12].decode(errors="replace") if answer else "none in 30 s"
        times.append(f"{took * 1000:.0f} ms" + ("" if status == "200" else f" ({status})"))
        time.sleep(0.5)
    print(f"feedback / SMS / update check during {label}: {', '.join(times)}")


def login_flood(port):
    body = '{"mobilephone":"13999999999","password":"guess-123"}'
    one = (f"POST /v1/login HTTP/1.1\r\nHost: x\r\nContent-Length: {len(body)}\r\n\r\n{body}")
    socks = []
    # 32 connections from each address, the most one address may hold.
    for i in range(96):
        sock = connect(port, f"127.0.1.{1 + i % 3}")
        sock.sendall((one * 20).encode())
        socks.append(sock)
    time.sleep(1)
    feedback_times(port, "a login flood from 3 addresses (1,920 logins)")
    for sock in socks:
        sock.close()


def unread_downloads(port):
    socks = []
    for i in range(64):
        sock = connect(port, f"127.0.2.{1 + i % 2}")
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        sock.sendall(b"GET /download/big.run HTTP/1.1\r\nHost: x\r\n\r\n")
        socks.append(sock)
    time.sleep(1)
    feedback_times(port, "64 unread downloads")
    for sock in socks:
        sock.close()


def main():
    binary = sys.argv[1]
    with tempfile.TemporaryDirectory() as data:
        proc, port = start(binary, data)
        try:
            print(f"{binary} on port {port}")
            endless_body(port, proc.pid, False)
            endless_body(port, proc.pid, True)
            eight_endless_bodies(port, proc.pid)
            smuggling(port, os.path.join(data, "sms-outbox.txt"))
            unread_downloads(port)
            login_flood(port)
        finally:
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


if __name__ == "__main__":
    main()
