#!/usr/bin/env python3
"""A loopback RFC 3161 time-stamp server for the release test.

  timestamp_server.py FOLDER

FOLDER holds tsa.pem and tsa.key (a certificate with the critical timeStamping use),
chain.pem (the certificates to include) and ts.cnf (openssl's [tsa] section). Listens
on 127.0.0.1 at a free port, prints the port, and answers each POSTed time-stamp
query with `openssl ts -reply`. Runs until it is stopped."""

import http.server
import os
import subprocess
import sys
import tempfile

FOLDER = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        if not 0 < length <= 65536:
            self.send_error(400)
            return
        query = self.rfile.read(length)
        with tempfile.TemporaryDirectory(dir=FOLDER) as scratch:
            query_file = os.path.join(scratch, "query.tsq")
            reply_file = os.path.join(scratch, "reply.tsr")
            with open(query_file, "wb") as f:
                f.write(query)
            made = subprocess.run(
                ["openssl", "ts", "-reply", "-config", os.path.join(FOLDER, "ts.cnf"),
                 "-queryfile", query_file, "-signer", os.path.join(FOLDER, "tsa.pem"),
                 "-inkey", os.path.join(FOLDER, "tsa.key"), "-out", reply_file],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=30)
            if made.returncode != 0:
                sys.stderr.write(made.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            with open(reply_file, "rb") as f:
                reply = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
