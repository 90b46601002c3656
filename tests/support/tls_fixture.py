#!/usr/bin/env python3
"""Local HTTPS server for the secure-transfer tests and the demo.

Listens on 127.0.0.1 (a free port unless --port is given), prints the port on
stdout once it listens, and answers like http_fixture.py (files from --root,
/bytes/<n>, /status/<code>, ...) over TLS with the certificate --cert and the
key --key. The TLS records are made in memory, so that the tests can choose
how they reach the wire. A path that begins with one of these prefixes is
answered as the rest of the path, sent in that way:
  /split/...     in pieces of 7 bytes, so that records are split across
                 receives
  /records/...   as records of 100 plain bytes each, all in one write, so
                 that many records arrive in one receive
  /noclose/...   without a close-notify: the connection just ends
  /cut/...       without its Content-Length line, and without the last 10
                 bytes of the last record and a close-notify: a stream cut
                 inside a record, which only the secure channel can tell
Every other response ends with a close-notify. With --silent the server
accepts and never answers (a handshake that never completes); with --plain it
speaks plain HTTP (a server that is not a TLS server), and with --hold as
well keeps the connection open after its answer; with --trickle N it
sends its handshake messages in pieces of N bytes, each its own segment.
Stops on SIGTERM.
"""
import argparse
import os
import signal
import socket
import ssl
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import http_fixture  # noqa: E402

MODES = ("/split/", "/records/", "/noclose/", "/cut/")


class Channel:
    """One server-side TLS connection over a socket, through memory buffers."""

    def __init__(self, conn, context, trickle=0):
        self.conn = conn
        self.trickle = trickle
        self.incoming = ssl.MemoryBIO()
        self.outgoing = ssl.MemoryBIO()
        self.tls = context.wrap_bio(self.incoming, self.outgoing, server_side=True)

    def flush(self, piece=0):
        data = self.outgoing.read()
        if data and piece:
            self.conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            for at in range(0, len(data), piece):
                self.conn.sendall(data[at:at + piece])
                time.sleep(0.005)  # each piece its own segment, and its own read
        elif data:
            self.conn.sendall(data)

    def feed(self):
        data = self.conn.recv(65536)
        if not data:
            raise EOFError
        self.incoming.write(data)

    def handshake(self):
        while True:
            try:
                self.tls.do_handshake()
                self.flush(self.trickle)
                return
            except ssl.SSLWantReadError:
                self.flush(self.trickle)
                self.feed()

    def read_request(self):
        request = b""
        while b"\r\n\r\n" not in request and len(request) < 65536:
            try:
                request += self.tls.read(65536)
            except ssl.SSLWantReadError:
                self.flush()
                self.feed()
        return request

    def encrypt(self, data, record):
        for at in range(0, len(data), record):
            self.tls.write(data[at:at + record])
        return self.outgoing.read()

    def close_notify(self):
        try:
            self.tls.unwrap()
        except (ssl.SSLWantReadError, ssl.SSLError):
            pass
        self.flush()


def serve(conn, context, root, trickle):
    try:
        conn.settimeout(30)
        channel = Channel(conn, context, trickle)
        channel.handshake()
        request = channel.read_request()
        line, _, rest = request.partition(b"\r\n")
        parts = line.split(b" ")
        mode = ""
        if len(parts) >= 2:
            path = parts[1].decode("latin-1")
            for prefix in MODES:
                if path.startswith(prefix):
                    mode = prefix
                    parts[1] = ("/" + path[len(prefix):]).encode("latin-1")
        answer = http_fixture.answer(root, b" ".join(parts) + b"\r\n" + rest)
        if mode == "/split/":
            raw = channel.encrypt(answer, 16384)
            for at in range(0, len(raw), 7):
                conn.sendall(raw[at:at + 7])
                if at % 700 == 0:
                    time.sleep(0.001)  # let the pieces go out as separate segments
        elif mode == "/records/":
            conn.sendall(channel.encrypt(answer, 100))
        elif mode == "/cut/":
            head, _, body = answer.partition(b"\r\n\r\n")
            head = b"\r\n".join(line for line in head.split(b"\r\n")
                                 if not line.lower().startswith(b"content-length:"))
            conn.sendall(channel.encrypt(head + b"\r\n\r\n" + body, 16384)[:-10])
        else:
            for at in range(0, len(answer), 1 << 20):
                conn.sendall(channel.encrypt(answer[at:at + (1 << 20)], 16384))
        if mode not in ("/noclose/", "/cut/"):
            channel.close_notify()
        conn.shutdown(socket.SHUT_WR)
        # Wait for the client to close, so that it reads everything first.
        while conn.recv(4096):
            pass
    except (OSError, EOFError, ssl.SSLError):
        pass
    finally:
        conn.close()


def plain(conn, hold):
    """A plain HTTP server on the secure port: it answers whatever arrives
    (a TLS client hello) with a 400 response at once, as web servers do, and
    closes (or, with hold, keeps the connection open)."""
    try:
        conn.settimeout(30)
        conn.recv(4096)
        conn.sendall(http_fixture.response(400, b"<html><body>Bad Request</body></html>"))
        if not hold:
            conn.shutdown(socket.SHUT_WR)
        while conn.recv(4096):
            pass
    except OSError:
        pass
    finally:
        conn.close()


def silent(conn):
    """Accepts and never answers, until the client closes (or 30 s pass)."""
    try:
        conn.settimeout(30)
        while conn.recv(4096):
            pass
    except OSError:
        pass
    finally:
        conn.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--silent", action="store_true")
    ap.add_argument("--plain", action="store_true")
    ap.add_argument("--hold", action="store_true")
    ap.add_argument("--trickle", type=int, default=0)
    args = ap.parse_args()
    root = os.path.abspath(args.root)
    context = None
    if not args.silent and not args.plain:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", args.port))
    srv.listen(64)
    print(srv.getsockname()[1], flush=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        while True:
            conn, _ = srv.accept()
            if args.silent:
                target, extra = silent, ()
            elif args.plain:
                target, extra = plain, (args.hold,)
            else:
                target, extra = serve, (context, root, args.trickle)
            threading.Thread(target=target, args=(conn,) + extra, daemon=True).start()
    except KeyboardInterrupt:
        pass
    finally:
        srv.close()


if __name__ == "__main__":
    main()
