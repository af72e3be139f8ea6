#!/usr/bin/env python3
"""A stand-in chromedriver for action-1 tests that must see the exact requests.

Installed as `chromedriver` in a test folder (the request's `chrome` names a
file there), it starts the real /usr/bin/chromedriver on a port of its own,
forwards every request on the --port it was given, and appends one JSON line
per exchange (method, path, body, status, reply) to requests.log beside it.
The real server dies with this process, so killing it leaves nothing behind.
"""
import ctypes
import http.client
import http.server
import json
import os
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
LOG = os.path.join(HERE, "requests.log")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def die_with_parent():
    ctypes.CDLL("libc.so.6").prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def main():
    port = int(next(a for a in sys.argv[1:] if a.startswith("--port="))[7:])
    backend = free_port()
    subprocess.Popen(["/usr/bin/chromedriver", "--port=%d" % backend],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                     preexec_fn=die_with_parent)
    for _ in range(500):
        try:
            socket.create_connection(("127.0.0.1", backend), 0.1).close()
            break
        except OSError:
            time.sleep(0.01)

    class Forward(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def exchange(self):
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length else b""
            upstream = http.client.HTTPConnection("127.0.0.1", backend, timeout=60)
            upstream.request(self.command, self.path, body,
                             {"Content-Type": "application/json"})
            reply = upstream.getresponse()
            data = reply.read()
            with open(LOG, "a") as log:
                log.write(json.dumps({"method": self.command, "path": self.path,
                                      "body": body.decode("utf-8", "replace"),
                                      "status": reply.status,
                                      "reply": data.decode("utf-8", "replace")}) + "\n")
            self.send_response(reply.status)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)

        do_GET = do_POST = do_DELETE = exchange

        def log_message(self, *args):
            pass

    http.server.ThreadingHTTPServer(("127.0.0.1", port), Forward).serve_forever()


if __name__ == "__main__":
    main()
