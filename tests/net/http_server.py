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
  repeat       send the body this many times over (a long reply without a long routes file)
  no_length    send no Content-Length: the body ends when the connection closes
  trickle      seconds to wait before each byte of the body (a server that never stalls, yet
               never finishes)
A path without a route gets 404. Whatever the client does meanwhile (it may give up on a long or
slow reply), the server only ends that connection.

With --tls FOLDER it serves HTTPS: it makes a certificate authority and a server certificate for
--cert-host (default 127.0.0.1) with the openssl tool, writes them to FOLDER (ca.pem for a client
to trust, server.pem, server.key), and each connection's handshake runs in its own thread.

Usage: http_server.py [--tls FOLDER [--cert-host NAME]] ROUTES.json LOG.jsonl
"""

import argparse
import base64
import http.server
import ipaddress
import json
import os
import ssl
import subprocess
import threading
import time

arguments = argparse.ArgumentParser()
arguments.add_argument("--tls")
arguments.add_argument("--cert-host", default="127.0.0.1")
arguments.add_argument("routes")
arguments.add_argument("log")
options = arguments.parse_args()
ROUTES, LOG = options.routes, options.log
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
        try:
            self.answer(status, body, headers, route.get("repeat", 1),
                        route.get("no_length", False), route.get("trickle", 0))
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.close_connection = True  # the client gave up

    def answer(self, status, body, headers, repeat=1, no_length=False, trickle=0):
        self.send_response(status)
        headers.setdefault("Content-Type", "text/html")
        for name, value in headers.items():
            self.send_header(name, value)
        if no_length:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(body) * repeat))
        self.end_headers()
        for _ in range(repeat):
            if trickle:
                for i in range(len(body)):
                    time.sleep(trickle)
                    self.wfile.write(body[i:i + 1])
                    self.wfile.flush()
            else:
                self.wfile.write(body)

    do_GET = do_POST = do_HEAD = do_PUT = handle_any


def make_certificates(folder, host):
    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)

    ca_key, ca = os.path.join(folder, "ca.key"), os.path.join(folder, "ca.pem")
    key, csr = os.path.join(folder, "server.key"), os.path.join(folder, "server.csr")
    cert, extensions = os.path.join(folder, "server.pem"), os.path.join(folder, "server.ext")
    curve = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    openssl("req", "-x509", *curve, "-keyout", ca_key, "-out", ca, "-days", "2",
            "-subj", "/CN=Loopback test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("req", *curve, "-keyout", key, "-out", csr, "-subj", "/CN=" + host)
    try:
        ipaddress.ip_address(host)
        name = "IP:" + host
    except ValueError:
        name = "DNS:" + host
    with open(extensions, "w", encoding="ascii") as f:
        f.write("subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n"
                % name)
    openssl("x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
            "-out", cert, "-days", "2", "-extfile", extensions)
    return cert, key


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    context = None

    def finish_request(self, request, client_address):
        if not self.context:
            return super().finish_request(request, client_address)
        # The handshake runs here, in the connection's thread: a client that refuses the
        # certificate or never speaks holds only its own connection.
        try:
            request.settimeout(30)
            secure = self.context.wrap_socket(request, server_side=True)
            secure.settimeout(None)
        except (ssl.SSLError, OSError):
            return None
        try:
            return super().finish_request(secure, client_address)
        finally:
            secure.close()


server = Server(("127.0.0.1", 0), Handler)
if options.tls:
    server.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    server.context.load_cert_chain(*make_certificates(options.tls, options.cert_host))
print(server.server_address[1], flush=True)
server.serve_forever()
