#!/usr/bin/env python3
"""HTTP clients for the web endpoint's end-to-end tests, run on the Linux side.

The test program under Wine starts this script for what a browser, a local tool or an attacker
would do, and reads what it wrote to the result file (one line per fact, "key value").

  webclient.py follow PORT COUNT OUT [ORIGIN]   follow /events, one JSON line per event to OUT
  webclient.py request PORT OUT METHOD PATH [HEADER:VALUE ...]   one request, status and body
  webclient.py oversized PORT OUT              a request with 64 KiB of headers
  webclient.py idle PORT OUT COUNT SECONDS     COUNT idle connections held SECONDS; how many the
                                               server closed, then whether /weight still answers
  webclient.py stall PORT OUT GOFILE           follow /events, stop reading until GOFILE appears,
                                               then report whether the server dropped the stream
  webclient.py hold PORT OUT SECONDS           listen on 127.0.0.1:PORT for SECONDS (another
                                               program holding the port)
"""
import os
import socket
import sys
import time


def write(out, lines):
    with open(out, "w", encoding="utf-8") as f:
        for line in lines:
            f.write(line + "\n")


def connect(port, rcvbuf=None, timeout=10):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    if rcvbuf:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.settimeout(timeout)
    s.connect(("127.0.0.1", port))
    return s


def request_bytes(method, path, port, headers):
    head = f"{method} {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
    names = {h.split(":", 1)[0].lower() for h in headers}
    if "host" in names:
        head = f"{method} {path} HTTP/1.1\r\n"
    for h in headers:
        name, value = h.split(":", 1)
        head += f"{name}: {value}\r\n"
    if method == "POST":
        head += "Content-Length: 0\r\n"
    head += "Connection: close\r\n\r\n"
    return head.encode()


def read_all(s, limit=1 << 20):
    data = b""
    try:
        while len(data) < limit:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    except (socket.timeout, ConnectionError):
        pass
    return data


def status_of(data):
    try:
        return int(data.split(b" ", 2)[1])
    except (IndexError, ValueError):
        return 0


def cmd_request(port, out, method, path, *headers):
    s = connect(port)
    s.sendall(request_bytes(method, path, port, headers))
    data = read_all(s)
    head, _, body = data.partition(b"\r\n\r\n")
    lines = [f"status {status_of(data)}"]
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.decode("latin-1").partition(":")
        lines.append(f"header {name.strip().lower()}: {value.strip()}")
    lines.append("body " + body.decode("utf-8", "replace"))
    write(out, lines)


def cmd_follow(port, count, out, origin=None):
    s = connect(port, timeout=30)
    headers = [f"Origin:{origin}"] if origin else []
    s.sendall(request_bytes("GET", "/events", port, headers))
    buf = b""
    events = []
    deadline = time.time() + 60
    with open(out, "w", encoding="utf-8") as f:
        while len(events) < count and time.time() < deadline:
            try:
                chunk = s.recv(4096)
            except socket.timeout:
                break
            if not chunk:
                break
            buf += chunk
            while b"\n\n" in buf:
                block, buf = buf.split(b"\n\n", 1)
                for line in block.split(b"\n"):
                    if line.startswith(b"data: "):
                        events.append(line[6:].decode("utf-8"))
                        f.write(events[-1] + "\n")
                        f.flush()
        f.write("end\n")


def cmd_oversized(port, out):
    s = connect(port)
    big = "X-Filler: " + "a" * (64 * 1024) + "\r\n"
    data = b""
    try:
        s.sendall(f"GET /weight HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n{big}\r\n".encode())
    except ConnectionError:
        pass
    data = read_all(s)
    write(out, [f"status {status_of(data)}"])


def cmd_idle(port, out, count, seconds):
    socks = []
    refused = 0
    for _ in range(count):
        try:
            socks.append(connect(port, timeout=2))
        except OSError:
            refused += 1
    time.sleep(seconds)
    closed = 0
    for s in socks:
        s.setblocking(False)
        try:
            closed += 1 if s.recv(1) == b"" else 0
        except BlockingIOError:
            pass
        except ConnectionError:
            closed += 1
    for s in socks:
        s.close()
    s = connect(port)
    s.sendall(request_bytes("GET", "/weight", port, []))
    after = status_of(read_all(s))
    write(out, [f"opened {len(socks)}", f"refused {refused}", f"closed {closed}", f"after {after}"])


def cmd_stall(port, out, gofile):
    s = connect(port, rcvbuf=4096, timeout=5)
    s.sendall(request_bytes("GET", "/events", port, []))
    first = s.recv(1024)
    write(out + ".started", [f"started {status_of(first)}"])
    deadline = time.time() + 120
    while time.time() < deadline and not os.path.exists(gofile):
        time.sleep(0.2)  # not reading: the server's buffers fill
    s.settimeout(5)
    total = 0
    dropped = False
    deadline = time.time() + 20
    try:
        while time.time() < deadline:
            chunk = s.recv(65536)
            if not chunk:
                dropped = True
                break
            total += len(chunk)
    except socket.timeout:
        dropped = False
    except ConnectionError:
        dropped = True
    write(out, [f"started {status_of(first)}", f"dropped {int(dropped)}", f"drained {total}"])


def cmd_hold(port, out, seconds):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", port))
    s.listen()
    write(out, ["listening"])
    time.sleep(seconds)


def main(argv):
    cmd, port, args = argv[1], int(argv[2]), argv[3:]
    if cmd == "request":
        cmd_request(port, *args)
    elif cmd == "follow":
        cmd_follow(port, int(args[0]), args[1], *(args[2:]))
    elif cmd == "oversized":
        cmd_oversized(port, args[0])
    elif cmd == "idle":
        cmd_idle(port, args[0], int(args[1]), float(args[2]))
    elif cmd == "stall":
        cmd_stall(port, args[0], args[1])
    elif cmd == "hold":
        cmd_hold(port, args[0], float(args[1]))
    else:
        raise SystemExit("unknown command " + cmd)


if __name__ == "__main__":
    main(sys.argv)
