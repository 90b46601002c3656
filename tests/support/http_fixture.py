#!/usr/bin/env python3
"""Local HTTP/1.0 server for the end-to-end tests and the demo.

Listens on 127.0.0.1 (a free port unless --port is given), prints the port on
stdout once it listens, and serves files from --root. Every response closes
the connection, as HTTP/1.0 does. Besides files it answers a few paths that
tests need:
  /status/<code>        that status with a short HTML body
  /redirect/<code>      that status with "Location: /moved.html"
  /bytes/<n>            n bytes cycling through every byte value (binary)
  /echo                 the request head as the body (text/plain)
  /hold/<n>             a 200 head and n bytes, then the connection is held
                        open (nothing more is sent) until the client closes it
  /gate/<name>/<n>      a 200 head promising 2n bytes and n of them ("x"), then
                        nothing until /release/<name> is asked for (30 s at
                        most), then the other n and the close
  /release/<name>       opens that gate; answers 200 "released"
  /short/<promised>/<n> a 200 head promising <promised> bytes, n of them, then
                        an ordinary close: a server that died mid-body
It stops on SIGTERM or SIGINT.
"""
import argparse
import os
import signal
import socket
import sys
import threading

REASONS = {200: "OK", 301: "Moved Permanently", 302: "Found", 303: "See Other",
           304: "Not Modified", 307: "Temporary Redirect", 400: "Bad Request", 404: "Not Found",
           500: "Internal Server Error"}
TYPES = {".xml": "text/xml", ".rss": "text/xml", ".html": "text/html",
         ".txt": "text/plain", ".bin": "application/octet-stream"}


def cycling_bytes(n):
    """n bytes cycling through every byte value, 0 first."""
    return (bytes(range(256)) * (n // 256 + 1))[:n]


def response(code, body, headers=()):
    head = "HTTP/1.0 %d %s\r\n" % (code, REASONS.get(code, "Status"))
    head += "".join("%s: %s\r\n" % h for h in headers)
    head += "Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body)
    return head.encode("latin-1") + body


def answer(root, request):
    line = request.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    path = parts[1] if len(parts) >= 2 else "/"
    if path == "/echo":
        return response(200, request, [("Content-Type", "text/plain")])
    if path.startswith("/release/"):
        gate(path[9:]).set()
        return response(200, b"released", [("Content-Type", "text/plain")])
    if path.startswith("/short/"):
        promised, n = (int(x) for x in path[7:].split("/"))
        head = "HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % promised
        return head.encode("latin-1") + bytes(i % 256 for i in range(n))
    if path.startswith("/status/"):
        code = int(path[8:11])
        return response(code, b"<html><body>%d</body></html>" % code, [("Content-Type", "text/html")])
    if path.startswith("/redirect/"):
        code = int(path[10:13])
        return response(code, b"moved", [("Location", "/moved.html")])
    if path.startswith("/bytes/"):
        n = int(path[7:])
        return response(200, cycling_bytes(n), [("Content-Type", "application/octet-stream")])
    local = os.path.normpath(os.path.join(root, path.lstrip("/")))
    if not local.startswith(os.path.abspath(root)) or not os.path.isfile(local):
        return response(404, b"<html><body>Not Found</body></html>", [("Content-Type", "text/html")])
    with open(local, "rb") as f:
        body = f.read()
    kind = TYPES.get(os.path.splitext(local)[1], "application/octet-stream")
    return response(200, body, [("Content-Type", kind)])


GATES = {}
GATES_LOCK = threading.Lock()


def gate(name):
    with GATES_LOCK:
        return GATES.setdefault(name, threading.Event())


def request_path(request):
    parts = request.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
    return parts[1] if len(parts) >= 2 else "/"


def gated(conn, request):
    """Answers /gate/<name>/<n>: the first half of the body, then the rest
    once another request has opened the gate."""
    path = request_path(request)
    if not path.startswith("/gate/"):
        return False
    name, n = path[6:].rsplit("/", 1)
    n = int(n)
    head = "HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % (2 * n)
    conn.sendall(head.encode("latin-1") + b"x" * n)
    gate(name).wait(30)
    conn.sendall(b"x" * n)
    conn.shutdown(socket.SHUT_WR)
    return True


def held(conn, request):
    """Answers /hold/<n>: part of a response, then silence until the client
    closes (or 30 s pass), for tests that end a transfer from the client side."""
    line = request.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    if len(parts) < 2 or not parts[1].startswith("/hold/"):
        return False
    n = int(parts[1][6:])
    head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"
    conn.sendall(head.encode("latin-1") + cycling_bytes(n))
    while conn.recv(4096):
        pass
    return True


def serve(conn, root):
    try:
        conn.settimeout(30)
        request = b""
        while b"\r\n\r\n" not in request and len(request) < 65536:
            data = conn.recv(4096)
            if not data:
                break
            request += data
        if held(conn, request) or gated(conn, request):
            return
        conn.sendall(answer(root, request))
        conn.shutdown(socket.SHUT_WR)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, default=0)
    args = ap.parse_args()
    root = os.path.abspath(args.root)
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", args.port))
    srv.listen(64)
    port = srv.getsockname()[1]
    # The same port on ::1, for the clients' IPv6 tests; without it those
    # tests fail to connect and say so.
    srv6 = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
    try:
        srv6.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        srv6.bind(("::1", port))
        srv6.listen(64)
    except OSError as error:
        print(f"no listener on [::1]:{port}: {error}", file=sys.stderr, flush=True)
    print(port, flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    def accept_all(listener):
        while True:
            conn, _ = listener.accept()
            threading.Thread(target=serve, args=(conn, root), daemon=True).start()

    if srv6.fileno() >= 0 and srv6.getsockname()[1] == port:
        threading.Thread(target=accept_all, args=(srv6,), daemon=True).start()
    try:
        accept_all(srv)
    except KeyboardInterrupt:
        pass
    finally:
        srv.close()
        srv6.close()


if __name__ == "__main__":
    main()
