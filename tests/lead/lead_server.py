#!/usr/bin/python3
"""HTTPS server for the lead tests: lead_server.py CERT KEY

Prints "TLS_PORT PLAIN_PORT" once both listeners on 127.0.0.1 are up, then serves until its
standard input closes (so it never outlives the test that started it). A request to /reply answers what its query asks for:
  status=N body=TEXT pad=N (spaces after body) encoding=gzip|bad-gzip
  mode=cut (close halfway through the body) | stall (send half the body, then wait)
     | silent (answer nothing) | broken-head | redirect (hops=N: N 302s before the reply)
     | to-http (302 to the plain listener)
Any other request is echoed: 200 {"ok":true,"displayContact":"<the request's raw bytes>"}.
"""
import gzip
import json
import os
import socket
import socketserver
import ssl
import sys
import threading
import urllib.parse

plain_port = 0


def read_request(stream):
    head = b""
    while not head.endswith(b"\r\n\r\n"):
        line = stream.readline(65536)
        if not line:
            return None
        head += line
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    return head + stream.read(length)


def wait_for_client_to_leave(sock):
    try:
        while sock.recv(4096):
            pass
    except OSError:
        pass


def response_head(status, length, extra=b""):
    return (b"HTTP/1.1 %d Reply\r\nContent-Type: application/json\r\nContent-Length: %d\r\n%b"
            b"Connection: close\r\n\r\n" % (status, length, extra))


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            if isinstance(sock, ssl.SSLSocket):
                sock.do_handshake()
            request = read_request(sock.makefile("rb"))
            if request is not None:
                self.answer(sock, request)
        except (OSError, ssl.SSLError):
            pass  # the client gave up or refused our certificate

    def answer(self, sock, request):
        target = request.split(b" ", 2)[1].decode()
        path, _, query = target.partition("?")
        if path != "/reply":
            try:
                echo = json.dumps({"ok": True, "displayContact": request.decode()}).encode()
                sock.sendall(response_head(200, len(echo)) + echo)
            except UnicodeDecodeError:
                sock.sendall(response_head(500, 0))
            return

        ask = dict(urllib.parse.parse_qsl(query, keep_blank_values=True))
        mode = ask.get("mode", "")
        if mode == "silent":
            return wait_for_client_to_leave(sock)
        if mode == "broken-head":
            return sock.sendall(b"HTTP/1.1 200 OK\r\nContent-Ty")
        if mode == "to-http" or (mode == "redirect" and int(ask["hops"]) > 0):
            if mode == "to-http":
                location = "http://127.0.0.1:%d/" % plain_port
            else:
                location = "/reply?" + urllib.parse.urlencode({**ask, "hops": int(ask["hops"]) - 1})
            return sock.sendall(response_head(302, 0, b"Location: %b\r\n" % location.encode()))

        body = ask.get("body", "").encode() + b" " * int(ask.get("pad", "0"))
        extra = b""
        if ask.get("encoding") in ("gzip", "bad-gzip"):
            extra = b"Content-Encoding: gzip\r\n"
            if ask["encoding"] == "gzip":
                body = gzip.compress(body, compresslevel=1)
        head = response_head(int(ask.get("status", "200")), len(body), extra)
        if mode in ("cut", "stall"):
            sock.sendall(head + body[: len(body) // 2])
            if mode == "stall":
                wait_for_client_to_leave(sock)
            return
        sock.sendall(head + body)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    request_queue_size = 64


def main():
    global plain_port
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    tls = Server(("127.0.0.1", 0), Handler)
    # The handshake runs in the request's own thread, so a stalled client stalls no one else.
    tls.socket = context.wrap_socket(tls.socket, server_side=True, do_handshake_on_connect=False)
    plain = Server(("127.0.0.1", 0), Handler)
    plain_port = plain.server_address[1]
    threading.Thread(target=plain.serve_forever, daemon=True).start()
    threading.Thread(target=lambda: (sys.stdin.buffer.read(), os._exit(0)), daemon=True).start()
    print(tls.server_address[1], plain_port, flush=True)
    tls.serve_forever()


if __name__ == "__main__":
    main()
