#!/usr/bin/env python3
# Serves one folder over https on 127.0.0.1 with a certificate made for the test; prints the
# port. Every request is logged to <root>/requests.log as "path|user agent|cache control".
# A path starting with /cut/ announces more bytes than it sends and hangs up; a file name starting
# with "slow-" is answered after a second and a half.
import functools
import http.server
import os
import ssl
import sys
import time

root, cert, key = sys.argv[1:4]


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, fmt, *args):
        pass

    def do_GET(self):
        with open(os.path.join(root, "requests.log"), "a") as log:
            log.write("%s|%s|%s\n" % (self.path, self.headers.get("User-Agent", ""),
                                      self.headers.get("Cache-Control", "")))
        if self.path.startswith("/cut/"):
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"#!/bin/sh\n" + b"x" * 1000)
            self.wfile.flush()
            self.close_connection = True
            return
        if os.path.basename(self.path).startswith("slow-"):
            time.sleep(1.5)
        super().do_GET()


handler = functools.partial(Handler, directory=root)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
