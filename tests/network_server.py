#!/usr/bin/env python3
"""The loopback HTTP server the network tests talk to. It records every
request (method, raw path, headers in the order sent, body), counts the
requests for each path, and serves fixed answers:

  /text /binary /lines /headers   bodies with CR LF, raw bytes, repeated headers
  /status/N                       status N, body "status N" (none for 204 and 304)
  /redirect                       302 to /text
  /count/NAME                     "hit N", N counting the requests for this path
                                  (a NAME ending in "crlf" adds CR LF)
  /bad-utf8                       CR LF and a byte that is not UTF-8
  /data.ixo /script.ixo           Ixo text to load and to run
  /bench                          1 KB of text
  /big /big-code                  64 KB of text each
  /huge                           256 MB of "x", sent as the client takes it
  /stall                          takes the request and never answers
  /_last                          the last request other than /_..., as Ixo text:
                                  method "M" path "/p" headers ["Name" "value" ...] body #{...}
  /_count/PATH                    how many requests /PATH had

Paths starting with /_ are neither recorded nor counted. Any other path
answers "ok".

As a module: `start()` answers a running server and its base URL.
Run alone, it serves until killed and prints its base URL.
"""
import http.server
import select
import socket
import sys
import threading

BODIES = {
    "/text": (b"a\r\nb\r\n", "text/plain; charset=utf-8"),
    "/binary": (b"\x00\xff\r\nA", "application/octet-stream"),
    "/lines": (b"one\r\ntwo\nthree", "text/plain; charset=utf-8"),
    "/bad-utf8": (b"a\r\nb\xff\r\n", "application/octet-stream"),
    "/data.ixo": (b"x: 1 y: [2 3]", "text/plain; charset=utf-8"),
    "/script.ixo": (b"x: 6 x * 7", "text/plain; charset=utf-8"),
    "/bench": ((b"0123456789abcdef" * 63 + b"0123456789abcd\r\n"), "text/plain; charset=utf-8"),
    # Larger than the file-size limit that the download cache test sets.
    "/big": (b"x " * 32768, "text/plain; charset=utf-8"),
    "/big-code": (b"x " * 32768, "text/plain; charset=utf-8"),
}

# The size of /huge: more than a C++ buffer gets under the address-space
# limit of the HTTP test's child process.
HUGE = 256 << 20


def ixo_string(text):
    out = []
    for ch in text:
        if ch in '"^':
            out.append("^" + ch)
        elif ord(ch) < 32 or ord(ch) == 127:
            out.append("^(%X)" % ord(ch))
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body leave in two writes: without TCP_NODELAY the body
    # waits for the client's delayed acknowledgement (some 40 ms) on a
    # connection kept open between requests.
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def answer(self, status, body=b"", headers=(), content_type="text/plain; charset=utf-8"):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if status not in (204, 304):
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD" and status not in (204, 304):
            self.wfile.write(body)

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        path = self.path
        server = self.server
        if not path.startswith("/_"):
            with server.lock:
                server.last = (self.command, path, list(self.headers.items()), body)
                server.counts[path] = server.counts.get(path, 0) + 1
                count = server.counts[path]
        if path == "/_last":
            method, last_path, headers, last_body = server.last
            text = "method %s path %s headers [%s] body #{%s}" % (
                ixo_string(method), ixo_string(last_path),
                " ".join(ixo_string(n) + " " + ixo_string(v) for n, v in headers),
                last_body.hex().upper())
            self.answer(200, text.encode("utf-8"))
        elif path.startswith("/_count/"):
            with server.lock:
                n = server.counts.get(path[len("/_count"):], 0)
            self.answer(200, str(n).encode())
        elif path in BODIES:
            data, content_type = BODIES[path]
            self.answer(200, data, content_type=content_type)
        elif path == "/headers":
            self.answer(200, b"h\r\n", headers=[("X-Twice", "1"), ("X-Twice", "2")])
        elif path.startswith("/status/"):
            status = int(path[len("/status/"):])
            self.answer(status, b"status %d" % status)
        elif path == "/redirect":
            self.answer(302, headers=[("Location", "/text"), ("X-Hop", "1")])
        elif path.startswith("/count/"):
            text = b"hit %d" % count
            if path.endswith("crlf"):
                text += b"\r\n"
            self.answer(200, text)
        elif path == "/huge":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(HUGE))
            self.end_headers()
            chunk = b"x" * (1 << 20)
            try:
                for _ in range(HUGE // len(chunk)):
                    self.wfile.write(chunk)
            except OSError:
                pass  # the client gave up reading
            self.close_connection = True
        elif path == "/stall":
            # Hold the connection open, silent, until the client gives up.
            select.select([self.connection], [], [], 300)
            self.close_connection = True
        else:
            self.answer(200, b"ok")

    do_GET = do_HEAD = do_POST = do_PUT = do_PATCH = do_DELETE = do_OPTIONS = handle_any


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Handler)
        self.lock = threading.Lock()
        self.last = ("", "", [], b"")
        self.counts = {}


def start():
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d/" % server.server_address[1]


def closed_port_url():
    """An address where nothing listens: a port taken and given back."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return "http://127.0.0.1:%d/" % port


if __name__ == "__main__":
    server, base = start()
    print(base, flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        sys.exit(0)
