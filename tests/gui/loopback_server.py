#!/usr/bin/env python3
"""A small HTTP server on loopback for the window's internet-service tests.

Usage: loopback_server.py ROUTES.json RECORD.jsonl

Listens on 127.0.0.1 on a free port and prints that port on stdout. Each request is answered from
the routes file, read again for every request so a test can change it between steps:
{"GET /path": {"status": 200, "body": "...", "content_type": "text/plain", "delay": 0}}; a request
without a route gets 404. Every request is appended to the record file as one JSON line with its
method, path, headers and base64 body, before it is answered.
"""
import base64
import http.server
import json
import sys
import threading
import time


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(length) if length else b""
        record = {
            "method": self.command,
            "path": self.path,
            "headers": {name: value for name, value in self.headers.items()},
            "body": base64.b64encode(body).decode("ascii"),
        }
        with lock, open(self.server.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(record) + "\n")
        with open(self.server.routes, encoding="utf-8") as source:
            routes = json.load(source)
        route = routes.get(self.command + " " + self.path.split("?")[0])
        if route is None:
            route = {"status": 404, "body": "<html><body>Not Found</body></html>",
                     "content_type": "text/html"}
        time.sleep(route.get("delay", 0))
        payload = route.get("body", "").encode("utf-8")
        self.send_response(route.get("status", 200))
        self.send_header("Content-Type", route.get("content_type", "text/plain"))
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)

    do_GET = answer
    do_POST = answer


lock = threading.Lock()


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.routes, server.record = sys.argv[1], sys.argv[2]
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
