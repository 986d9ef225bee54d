#!/usr/bin/env python3
"""Loopback HTTP proxy that asks for Basic credentials, for the updater's tests.

Listens on 127.0.0.1 only and forwards GET requests (absolute URLs, as a client sends
them to a proxy) to servers on 127.0.0.1 / localhost only; any other target gets 403.
A request without the right Proxy-Authorization gets 407 with
Proxy-Authenticate: Basic. Each request is logged to standard error as one line:
  "GET URL" STATUS credentials=none|good|wrong

    proxy.py --user U --password P --port-file FILE [--max-seconds S]

Standard library only. Ends by itself after --max-seconds (default 120).
"""

import argparse
import base64
import http.client
import http.server
import os
import sys
import threading
import urllib.parse

LOCAL_HOSTS = ("127.0.0.1", "localhost")


def make_handler(expected):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *args):
            pass

        def note(self, status, credentials):
            sys.stderr.write('"GET %s" %d credentials=%s\n' % (self.path, status, credentials))
            sys.stderr.flush()

        def answer(self, status, body, extra=()):
            self.send_response(status)
            for name, value in extra:
                self.send_header(name, value)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_GET(self):
            given = self.headers.get("Proxy-Authorization", "")
            credentials = "none" if not given else ("good" if given == expected else "wrong")
            if credentials != "good":
                self.note(407, credentials)
                self.answer(407, b"<html><body>407 Proxy Authentication Required</body></html>",
                            [("Proxy-Authenticate", 'Basic realm="loopback proxy"')])
                return
            target = urllib.parse.urlsplit(self.path)
            if target.scheme != "http" or target.hostname not in LOCAL_HOSTS:
                self.note(403, credentials)
                self.answer(403, b"<html><body>only loopback targets</body></html>")
                return
            path = target.path or "/"
            if target.query:
                path += "?" + target.query
            upstream = http.client.HTTPConnection("127.0.0.1", target.port or 80, timeout=30)
            try:
                upstream.request("GET", path)
                reply = upstream.getresponse()
                body = reply.read()
            except OSError:
                self.note(502, credentials)
                self.answer(502, b"<html><body>no answer upstream</body></html>")
                return
            finally:
                upstream.close()
            self.note(reply.status, credentials)
            self.send_response(reply.status)
            for name, value in reply.getheaders():
                if name.lower() not in ("connection", "transfer-encoding", "content-length",
                                        "keep-alive"):
                    self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--max-seconds", type=float, default=120)
    args = parser.parse_args()
    expected = "Basic " + base64.b64encode(
        ("%s:%s" % (args.user, args.password)).encode()).decode()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(expected))
    server.daemon_threads = True
    timer = threading.Timer(args.max_seconds, server.shutdown)
    timer.daemon = True
    timer.start()
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(temporary, args.port_file)
    try:
        server.serve_forever()
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
