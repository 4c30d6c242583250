#!/usr/bin/env python3
"""A small HTTP server on loopback for the tests of the internet services.

It answers from a routes file (JSON, read again for every request so a test may change it) and
records every request it gets as one JSON line in the log file: the request line, the headers in
the order they came, and the body in base64. It prints its port on the first line of standard
output, then serves until it is killed.

A route ("/path" for every method, or "GET /path" for one; the latter is tried first) may give:
  status       the status code (default 200)
  body         the body as text, or body_base64 as bytes
  headers      extra response headers, a {name: value} object
  redirect     a Location to send with status 302 (or the route's status)
  set_cookie   a Set-Cookie header to send
  content_type the Content-Type (default text/html)
  delay        seconds to wait before answering
  need_cookie  answer 403 unless the request's Cookie header holds this text
A path without a route gets 404.

Usage: http_server.py ROUTES.json LOG.jsonl
"""

import base64
import http.server
import json
import sys
import threading
import time

ROUTES, LOG = sys.argv[1], sys.argv[2]
log_lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(length) if length else b""
        with log_lock, open(LOG, "a", encoding="utf-8") as log:
            log.write(json.dumps({
                "request_line": self.requestline,
                "method": self.command,
                "path": self.path,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body": base64.b64encode(body).decode("ascii"),
            }) + "\n")

        with open(ROUTES, encoding="utf-8") as f:
            routes = json.load(f)
        path = self.path.split("?")[0]
        route = routes.get(self.command + " " + path, routes.get(path))
        if route is None:
            return self.answer(404, b"<html><body>Not Found</body></html>", {})
        need = route.get("need_cookie")
        if need and need not in self.headers.get("Cookie", ""):
            return self.answer(403, b"<html><body>No cookie</body></html>", {})
        time.sleep(route.get("delay", 0))
        headers = dict(route.get("headers", {}))
        if "content_type" in route:
            headers["Content-Type"] = route["content_type"]
        status = route.get("status", 200)
        if "redirect" in route:
            headers["Location"] = route["redirect"]
            status = route.get("status", 302)
        if "set_cookie" in route:
            headers["Set-Cookie"] = route["set_cookie"]
        if "body_base64" in route:
            body = base64.b64decode(route["body_base64"])
        else:
            body = route.get("body", "").encode("utf-8")
        self.answer(status, body, headers)

    def answer(self, status, body, headers):
        self.send_response(status)
        headers.setdefault("Content-Type", "text/html")
        for name, value in headers.items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_GET = do_POST = do_HEAD = do_PUT = handle_any


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
