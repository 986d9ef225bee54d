#!/usr/bin/env python3
"""Loopback HTTP mirror for the updater's tests, benchmarks and demo.

Serves the files below --root on 127.0.0.1 over plain HTTP/1.1 and, on request,
misbehaves. The request path is read as a chain of segments: each mode takes its
arguments and hands the rest of the path on, so modes combine, and a mirror address
can carry them (site "127.0.0.1:PORT/trickle/5/256/" + "version.html").

Bodies (the end of a chain):
  /<file>                  the file below --root; a missing one gives 404 with an HTML page
  /size/<N>/<name>         N bytes, byte i being i mod 251 (a period that is no power of
                           two, so a lost, repeated or reordered 256-byte chunk shows)
  /empty/<name>            200 with Content-Length 0
  /status/<code>/<name>    status <code> with a small HTML page as the body

Modes (prefixes of a body):
  /trickle/<ms>/<bytes>/...  the body in pieces of <bytes>, <ms> milliseconds apart
  /drip/...                  the body one byte at a time, two bytes a second (never silent
                             long enough for a timeout)
  /announce/<N>/...          Content-Length N whatever the body's length, the body, then an
                             orderly close
  /reset/<N>/...             Content-Length of the whole body, its first N bytes, a short
                             pause (so that they arrive), then a TCP reset
  /short/<N>/...             Content-Length of the whole body, its first N bytes, then an
                             orderly close
  /silent/<s>/...            the headers, then nothing for <s> seconds, then an orderly close
  /stall/<s>/...             not even headers: nothing for <s> seconds, then an orderly close
  /redirect/<k>/...          302 to the same path with k-1; at 0 the rest is served
  /loop/...                  302 to this very path, forever
  /to-http/<port>/...        302 to http://127.0.0.1:<port>/... (from an https mirror:
                             a redirection that leaves https)
  /chunked/...               the body in chunked transfer encoding, without a length
  /refuse/<code>/<name>/...  a request whose last segment is <name> gets status <code>
                             with nginx's error page (CR LF lines); any other passes on
  /break-once/<N>/<then>/<name>/...
                             the first request of this very path, when its last segment
                             is <name>: the whole length announced, N bytes, then an
                             orderly close (the client gets every byte up to the break, a
                             reset could take some of them with it). <then> says what the
                             later requests of the path get:
                               range         the file, a Range honoured
                               ignore-range  the whole file, a Range ignored (200)
                               changed       the file, while the broken answer was an older
                                             one (same length, other bytes, other ETag and
                                             Last-Modified): an If-Range of the old one
                                             gets the whole file
  /validators/<kind>/...     what a file or /size carries to identify it: strong (the
                             default, a strong ETag and Last-Modified), date (Last-Modified
                             only),
                             weak (a weak ETag only), weak-date (a weak ETag and
                             Last-Modified), none
  /range/<how>/...           how a Range is answered: honour (the default), ignore (200,
                             the whole body), 416, start (206 from one byte further than
                             asked), total (206 announcing a total one byte longer), short
                             (206 that ends one byte before the end), overrun (206 without
                             Content-Length, its part, then 5,000,000 bytes more and an
                             orderly close), endless (206 without Content-Length, its part,
                             then bytes until the client leaves), etag (206 with another
                             strong ETag than the one its If-Range named)

A file or /size body announces Accept-Ranges and answers "Range: bytes=N-" or
"bytes=N-M" with 206 and its Content-Range, or with 416 from its length on; an If-Range
that is not its strong ETag or its Last-Modified gets the whole body. With --verbose each
request line of the log ends with the Range and If-Range it carried.

Examples: /size/2600/version.html, /reset/3000/size/10000/x.zip,
/redirect/3/status/404/version.html, /trickle/200/256/size/1024/a.bin,
/break-once/15000/range/vlr753.zip/vlr753.zip.

Running:
  mirror.py --root DIR [--port 0] [--port-file F] [--max-seconds S] [--max-requests N]
            [--tls-cert CERT.pem --tls-key KEY.pem]        https instead of http
  mirror.py --daemon --pid-file P --port-file F [--log L] ...   start in the background;
            returns once the port file exists (a stale mirror of the same pid file is
            ended first, and the port file is always written anew)
  mirror.py --stop --pid-file P                                  end that background mirror
The mirror listens on 127.0.0.1 only, ends on SIGTERM or SIGINT, after --max-seconds,
or after --max-requests requests, and never waits longer than a minute for a client.
"""

import argparse
import email.utils
import http.server
import os
import signal
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse

PATTERN_PERIOD = 251
BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 256))  # 64,256 bytes


SIZE_DATE = "Sat, 01 Jan 2022 00:00:00 GMT"  # the Last-Modified of /size bodies
OLD_DATE = "Fri, 01 Jan 2021 00:00:00 GMT"   # ... and of a changed file's older version


class Body:
    """What a chain ends in: a status, and the body as a length and a writer. A file or
    /size body has validators (a strong ETag, a Last-Modified) and can be served in
    part."""

    def __init__(self, status, length, write, content_type="application/octet-stream",
                 etag=None, last_modified=None):
        self.status = status
        self.length = length
        self.write = write  # write(sink, start, limit): `limit` bytes from byte `start`
        self.content_type = content_type
        self.etag = etag
        self.last_modified = last_modified


def pattern_writer(n):
    def write(sink, start, limit):
        left = max(0, min(n - start, limit))
        at = start % PATTERN_PERIOD
        while left > 0:
            piece = BLOCK[at: at + min(left, len(BLOCK) - PATTERN_PERIOD)]
            sink(piece)
            left -= len(piece)
            at = (at + len(piece)) % PATTERN_PERIOD
    return write


def bytes_writer(data):
    def write(sink, start, limit):
        if limit > 0 and data[start:start + limit]:
            sink(data[start:start + limit])
    return write


def older_version(body):
    """The same body as it was before: the same length, every byte inverted, and
    validators of its own."""
    inner = body.write

    def write(sink, start, limit):
        inner(lambda data: sink(bytes(b ^ 0xFF for b in data)), start, limit)
    etag = '"old-%s' % body.etag[1:] if body.etag else '"old"'
    return Body(body.status, body.length, write, body.content_type, etag, OLD_DATE)


def parse_range(text, length):
    """The first and last byte a "bytes=N-" or "bytes=N-M" Range asks for (the last at
    most the body's last; a first past the end is kept, for a 416); None for any other
    Range, which is then ignored."""
    if not text or not text.startswith("bytes="):
        return None
    asked = text[len("bytes="):].strip()
    if "," in asked or "-" not in asked:
        return None
    first, last = asked.split("-", 1)
    if not first.isdigit() or (last and not last.isdigit()):
        return None
    first = int(first)
    last = min(int(last), length - 1) if last else length - 1
    if first < length and last < first:
        return None
    return first, last


def nginx_page(code, text):
    return ("<html>\r\n<head><title>%d %s</title></head>\r\n<body>\r\n"
            "<center><h1>%d %s</h1></center>\r\n<hr><center>nginx/1.22.1</center>\r\n"
            "</body>\r\n</html>\r\n" % (code, text, code, text)).encode("ascii")


def html_page(code, text):
    return ("<!DOCTYPE html>\n<html><head><title>%d %s</title></head>\n"
            "<body><h1>%d %s</h1><p>The mirror has no such file.</p></body></html>\n"
            % (code, text, code, text)).encode("ascii")


class ChainError(Exception):
    pass


def number(segments, name):
    if not segments:
        raise ChainError("%s needs an argument" % name)
    try:
        value = int(segments.pop(0))
    except ValueError:
        raise ChainError("%s needs a number" % name)
    if value < 0:
        raise ChainError("%s needs a number of 0 or more" % name)
    return value


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "vlrmirror/1"
    timeout = 60  # an idle client is dropped after a minute
    disable_nagle_algorithm = True  # headers and body go out without waiting for ACKs

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("mirror: " + (fmt % args) + "\n")

    def log_request(self, code="-", size="-"):
        extra = ""
        headers = getattr(self, "headers", None)  # none when the request line was bad
        for name in ("Range", "If-Range"):
            value = headers.get(name) if headers else None
            if value is not None:
                extra += " %s: %s" % (name, value)
        self.log_message('"%s" %s %s%s', self.requestline, str(code), str(size), extra)

    def do_GET(self):
        if not self.server.count_request():
            self.close_connection = True
            return
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        segments = [s for s in path.split("/") if s]
        try:
            self.serve(segments, path)
        except (BrokenPipeError, ConnectionResetError, socket.timeout):
            self.close_connection = True
        except ChainError as e:
            self.send_page(400, str(e))

    def send_page(self, code, text):
        page = html_page(code, text)
        self.send_response(code)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def body_for(self, segments):
        """Resolves the end of a chain into a Body; consumes the segments."""
        if not segments:
            return Body(404, None, None)
        head = segments[0]
        if head == "size":
            segments.pop(0)
            n = number(segments, "size")
            return Body(200, n, pattern_writer(n), etag='"size-%d"' % n,
                        last_modified=SIZE_DATE)
        if head == "empty":
            return Body(200, 0, bytes_writer(b""))
        if head == "status":
            segments.pop(0)
            code = number(segments, "status")
            if code < 200 or code > 599:
                raise ChainError("status needs a code from 200 to 599")
            page = html_page(code, http.server.BaseHTTPRequestHandler.responses.get(
                code, ("Status",))[0])
            return Body(code, len(page), bytes_writer(page), "text/html")
        root = os.path.realpath(self.server.root)
        full = os.path.realpath(os.path.join(root, *segments))
        if (full != root and not full.startswith(root + os.sep)) or not os.path.isfile(full):
            page = html_page(404, "Not Found")
            return Body(404, len(page), bytes_writer(page), "text/html")
        stat = os.stat(full)
        size = stat.st_size

        def write_file(sink, start, limit, full=full):
            with open(full, "rb") as f:
                if start == 0 and limit >= size and sink == self.raw_sink:
                    self.connection.sendfile(f)  # the kernel copies: the client is measured
                    return
                f.seek(start)
                left = limit
                while left > 0:
                    piece = f.read(min(left, 1 << 16))
                    if not piece:
                        break
                    sink(piece)
                    left -= len(piece)
        return Body(200, size, write_file, etag='"%x-%x"' % (stat.st_mtime_ns, size),
                    last_modified=email.utils.formatdate(stat.st_mtime, usegmt=True))

    def raw_sink(self, data):
        self.wfile.write(data)

    def serve(self, segments, path):
        trickle = None  # (seconds, piece size)
        cut = None      # (bytes, "reset" | "short" | "silent", seconds)
        chunked = False
        validators = "strong"
        ranges = "honour"
        older = False   # the broken first answer of /break-once/.../changed
        announce = None  # the Content-Length of /announce
        while segments:
            head = segments[0]
            if head == "break-once":
                segments.pop(0)
                n = number(segments, "break-once")
                if len(segments) < 2 or segments[0] not in ("range", "ignore-range", "changed"):
                    raise ChainError("break-once needs a byte, range|ignore-range|changed "
                                     "and a name")
                then, name = segments.pop(0), segments.pop(0)
                if segments and segments[-1] == name:
                    if self.server.first_request(self.path):
                        cut = (n, "short", 0)
                        older = then == "changed"
                    elif then == "ignore-range":
                        ranges = "ignore"
                continue
            if head == "validators":
                segments.pop(0)
                validators = segments.pop(0) if segments else ""
                if validators not in ("strong", "date", "weak", "weak-date", "none"):
                    raise ChainError("validators needs strong, date, weak, weak-date or none")
                continue
            if head == "range":
                segments.pop(0)
                ranges = segments.pop(0) if segments else ""
                if ranges not in ("honour", "ignore", "416", "start", "total", "short",
                                  "overrun", "endless", "etag"):
                    raise ChainError("range needs honour, ignore, 416, start, total, short, "
                                     "overrun, endless or etag")
                continue
            if head == "trickle":
                segments.pop(0)
                ms = number(segments, "trickle")
                piece = max(1, number(segments, "trickle"))
                trickle = (ms / 1000.0, piece)
            elif head == "drip":
                segments.pop(0)
                trickle = (0.5, 1)
            elif head == "announce":
                segments.pop(0)
                announce = number(segments, "announce")
            elif head in ("reset", "short"):
                segments.pop(0)
                cut = (number(segments, head), head, 0)
            elif head == "silent":
                segments.pop(0)
                cut = (0, "silent", number(segments, "silent"))
            elif head == "stall":
                segments.pop(0)
                self.wait(number(segments, "stall"))
                self.close_connection = True
                return
            elif head == "redirect":
                segments.pop(0)
                k = number(segments, "redirect")
                if k > 0:
                    self.redirect("/redirect/%d/%s" % (k - 1, "/".join(segments)))
                    return
            elif head == "loop":
                self.redirect(path)
                return
            elif head == "to-http":
                segments.pop(0)
                port = number(segments, "to-http")
                self.redirect("/" + "/".join(segments), "127.0.0.1:%d" % port)
                return
            elif head == "chunked":
                segments.pop(0)
                chunked = True
            elif head == "refuse":
                segments.pop(0)
                code = number(segments, "refuse")
                if code < 400 or code > 599 or not segments:
                    raise ChainError("refuse needs a code from 400 to 599 and a name")
                name = segments.pop(0)
                if segments and segments[-1] == name:
                    page = nginx_page(code, http.server.BaseHTTPRequestHandler.responses.get(
                        code, ("Error",))[0])
                    self.send_response(code)
                    self.send_header("Content-Type", "text/html")
                    self.send_header("Content-Length", str(len(page)))
                    self.end_headers()
                    self.wfile.write(page)
                    return
            else:
                break
        body = self.body_for(segments)
        if body.write is None:
            self.send_page(404, "Not Found")
            return
        if older:
            body = older_version(body)
        etag, last_modified = body.etag, body.last_modified
        if validators in ("weak", "weak-date") and etag:
            etag = "W/" + etag
        if validators in ("date", "none"):
            etag = None
        if validators in ("weak", "none"):
            last_modified = None

        status, start, length, content_range = body.status, 0, body.length, None
        asked = parse_range(self.headers.get("Range"), body.length)
        if_range = self.headers.get("If-Range")
        if (body.etag and not chunked and asked and ranges != "ignore" and
                (if_range is None or (etag and not etag.startswith("W/") and if_range == etag)
                 or (last_modified and if_range == last_modified))):
            if ranges == "416" or asked[0] >= body.length:
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % body.length)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return
            first, last = asked
            total = body.length
            if ranges == "start":
                first = min(first + 1, last)
            elif ranges == "short" and last > first:
                last -= 1
            elif ranges == "total":
                total += 1
            status, start, length = 206, first, last - first + 1
            content_range = "bytes %d-%d/%d" % (first, last, total)

        # A part that runs on past its end, or that names another file.
        beyond = status == 206 and ranges in ("overrun", "endless")
        if status == 206 and ranges == "etag" and etag:
            etag = '"other-' + etag.strip('"') + '"'
        if beyond or announce is not None:
            self.close_connection = True

        self.send_response(status)
        self.send_header("Content-Type", body.content_type)
        if body.etag:  # a file or /size
            self.send_header("Accept-Ranges", "bytes")
            if etag:
                self.send_header("ETag", etag)
            if last_modified:
                self.send_header("Last-Modified", last_modified)
        if content_range:
            self.send_header("Content-Range", content_range)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif announce is not None:
            self.send_header("Content-Length", str(announce))
        elif not beyond:
            self.send_header("Content-Length", str(length))
        if cut or beyond or announce is not None:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()

        limit = length if cut is None else min(cut[0], length)
        sink = self.raw_sink
        if chunked:
            def sink(data, raw=self.raw_sink):
                raw(b"%x\r\n" % len(data) + data + b"\r\n")
        if trickle:
            delay, size = trickle
            outer = sink

            def sink(data, outer=outer):
                for i in range(0, len(data), size):
                    outer(data[i:i + size])
                    self.wfile.flush()
                    time.sleep(delay)
        body.write(sink, start, limit)
        if chunked and cut is None:
            self.raw_sink(b"0\r\n\r\n")
        if beyond:
            self.send_beyond(ranges == "endless")
        self.wfile.flush()

        if cut:
            kind, seconds = cut[1], cut[2]
            if kind == "silent":
                self.wait(seconds)
            elif kind == "reset":
                time.sleep(0.3)
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                self.connection.close()

    def send_beyond(self, endless):
        """Bytes after a part's end: 5,000,000 of them, or until the client leaves (at
        most 64 GiB, or the mirror stops)."""
        left = (64 << 30) if endless else 5000000
        while left > 0 and not self.server.stopping.is_set():
            piece = BLOCK[: min(left, len(BLOCK))]
            self.raw_sink(piece)
            left -= len(piece)

    def redirect(self, target, host=None):
        host = host or self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_address[1]
        location = "http://%s%s" % (host, urllib.parse.quote(target))
        page = b"moved"
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def wait(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end and not self.server.stopping.is_set():
            time.sleep(0.05)

    def finish(self):
        try:
            super().finish()
        except (OSError, ValueError):
            pass  # the connection was reset on purpose


class Mirror(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, root, port, max_requests, verbose, tls=None):
        self.root = root
        self.max_requests = max_requests
        self.requests = 0
        self.verbose = verbose
        self.tls = tls
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.asked = set()  # the paths of /break-once already asked for
        super().__init__(("127.0.0.1", port), Handler)

    def finish_request(self, request, client_address):
        # The TLS handshake runs in the connection's own thread, so a client that
        # stalls or refuses the certificate never holds up the others.
        if self.tls:
            request.settimeout(60)
            try:
                request = self.tls.wrap_socket(request, server_side=True)
            except (OSError, ValueError):
                return
        super().finish_request(request, client_address)

    def first_request(self, path):
        """True the first time `path` is asked for."""
        with self.lock:
            if path in self.asked:
                return False
            self.asked.add(path)
            return True

    def count_request(self):
        with self.lock:
            self.requests += 1
            if self.requests <= self.max_requests:
                return True
        self.stop()
        return False

    def stop(self):
        if not self.stopping.is_set():
            self.stopping.set()
            threading.Thread(target=self.shutdown, daemon=True).start()

    def handle_error(self, request, client_address):
        if self.verbose:
            super().handle_error(request, client_address)


def write_atomically(path, text):
    tmp = "%s.%d.tmp" % (path, os.getpid())
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def remove_quietly(path):
    if path:
        try:
            os.remove(path)
        except OSError:
            pass


def our_mirror(pid):
    """True when pid is a running mirror (this script), not some other process."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return b"mirror.py" in f.read()
    except OSError:
        return False


def stop_mirror(pid_file, wait=10.0):
    try:
        with open(pid_file) as f:
            pid = int(f.read().strip() or "0")
    except (OSError, ValueError):
        return
    if pid > 0 and our_mirror(pid):
        try:
            os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
        end = time.monotonic() + wait
        while time.monotonic() < end and our_mirror(pid):
            time.sleep(0.05)
        if our_mirror(pid):
            os.kill(pid, signal.SIGKILL)
    remove_quietly(pid_file)


def serve(args):
    tls = None
    if args.tls_cert:
        tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        tls.load_cert_chain(args.tls_cert, args.tls_key)
    mirror = Mirror(args.root, args.port, args.max_requests, args.verbose, tls)
    port = mirror.server_address[1]
    signal.signal(signal.SIGTERM, lambda *_: mirror.stop())
    signal.signal(signal.SIGINT, lambda *_: mirror.stop())
    if args.max_seconds > 0:
        timer = threading.Timer(args.max_seconds, mirror.stop)
        timer.daemon = True
        timer.start()
    if args.pid_file:
        write_atomically(args.pid_file, "%d\n" % os.getpid())
    if args.port_file:
        write_atomically(args.port_file, "%d\n" % port)
    else:
        print(port, flush=True)
    try:
        mirror.serve_forever(poll_interval=0.2)
    finally:
        mirror.server_close()
        remove_quietly(args.port_file)
        remove_quietly(args.pid_file)


def main():
    p = argparse.ArgumentParser(description="Loopback HTTP mirror with fault modes.")
    p.add_argument("--root", default=".", help="folder whose files are served")
    p.add_argument("--port", type=int, default=0, help="port on 127.0.0.1; 0 = a free one")
    p.add_argument("--port-file", help="file that receives the port once listening")
    p.add_argument("--pid-file", help="file that receives the mirror's process id")
    p.add_argument("--log", help="with --daemon: file for the mirror's messages")
    p.add_argument("--max-seconds", type=float, default=3600.0, help="end after this long")
    p.add_argument("--max-requests", type=int, default=100000, help="end after so many")
    p.add_argument("--daemon", action="store_true", help="run in the background")
    p.add_argument("--stop", action="store_true", help="end the mirror of --pid-file")
    p.add_argument("--verbose", action="store_true", help="log every request")
    p.add_argument("--tls-cert", help="serve https with this certificate (PEM, chain included)")
    p.add_argument("--tls-key", help="the certificate's private key (PEM)")
    args = p.parse_args()
    if bool(args.tls_cert) != bool(args.tls_key):
        p.error("--tls-cert and --tls-key go together")

    if args.stop:
        if not args.pid_file:
            p.error("--stop needs --pid-file")
        stop_mirror(args.pid_file)
        return 0

    if not args.daemon:
        serve(args)
        return 0

    if not args.pid_file or not args.port_file:
        p.error("--daemon needs --pid-file and --port-file")
    stop_mirror(args.pid_file)  # a mirror left over from an earlier run
    remove_quietly(args.port_file)
    for path in (args.pid_file, args.port_file):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    child = os.fork()
    if child == 0:
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        out = os.open(args.log, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644) if args.log \
            else devnull
        for fd in (0, 1, 2):
            os.dup2(devnull if fd == 0 else out, fd)
        try:
            serve(args)
        finally:
            os._exit(0)
    end = time.monotonic() + 15
    while time.monotonic() < end:
        if os.path.exists(args.port_file):
            with open(args.port_file) as f:
                print("mirror on 127.0.0.1:%s (pid %d)" % (f.read().strip(), child))
            return 0
        pid, _ = os.waitpid(child, os.WNOHANG)
        if pid:
            break
        time.sleep(0.05)
    sys.stderr.write("the mirror did not start\n")
    return 1


if __name__ == "__main__":
    sys.exit(main())
