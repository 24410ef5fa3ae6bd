#!/usr/bin/env python3
"""A stand-in for the publisher's portal, for trying the launcher on this machine.

Serves the launcher's start page (/, with any query) and the statistics page (/stats/tavaren.html) on
127.0.0.1 only, and logs each request on standard error. Its pages do what the README asks of the portal
("For the portal's authors"): they ask for the newest document mode (the X-UA-Compatible header, and the
<meta> tag for a copy saved as a file) and handle their own script errors. Stops on SIGTERM or SIGINT, and by itself when
the process that started it goes away.

With --tls it serves https instead, with a certificate for 127.0.0.1 that it makes for itself when it starts
(with the openssl command) and throws away when it stops. No browser trusts that certificate; the log shows
each connection's ClientHello and how its handshake ended, which is what a launcher built for
https://127.0.0.1:PORT can show under Wine. The end-to-end portal case uses the same server, with a
certificate made once by --make-certificate DIR (the build does that: the Wine 10 root it runs in has no
openssl command).

    demo_portal.py [--port 18218] [--tls]
    demo_portal.py --make-certificate DIR
"""

import argparse
import html
import http.server
import os
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

# X-UA-Compatible comes first in <head>: the browser control only heeds it before other elements. The
# onerror handler returning true keeps a script error from opening the control's error dialog.
PAGE = """<!DOCTYPE html>
<html><head><meta http-equiv="X-UA-Compatible" content="IE=edge"><meta charset="utf-8"><title>{title}</title>
<script>window.onerror = function () {{ return true; }};</script>
<style>
body {{ background: #101418; color: #e8e8e8; font-family: sans-serif; margin: 0; padding: 16px; }}
h1 {{ color: #f0b030; font-size: 20px; margin: 0 0 12px 0; }}
p {{ font-size: 13px; line-height: 1.4; }}
</style></head>
<body><h1>{title}</h1>{body}</body></html>
"""

START_BODY = """<p>Welcome back. The servers are up; the season's second chapter opens this week.</p>
<p>Press PLAY to start the game, or CLOSE to see your statistics.</p>
<p><small>game {game}, view {mini}</small></p>"""

STATS_BODY = """<p>Games played: 0. Hours in the field: 0.</p>
<p>This is the demo portal: no statistics are kept.</p>"""


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "TavarenDemoPortal/1.0"

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        if url.path == "/":
            body = START_BODY.format(
                game=html.escape(query.get("gameid", ["?"])[0]), mini=html.escape(query.get("mini", ["?"])[0])
            )
            self._send(200, PAGE.format(title="Tavaren", body=body))
        elif url.path == "/stats/tavaren.html":
            self._send(200, PAGE.format(title="Tavaren statistics", body=STATS_BODY))
        else:
            self._send(404, PAGE.format(title="Not found", body="<p>No such page.</p>"))

    def _send(self, status, text):
        data = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("X-UA-Compatible", "IE=edge")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, format, *args):
        sys.stderr.write("portal: %s %s\n" % (self.address_string(), format % args))
        sys.stderr.flush()


def certificate_files(directory):
    """The certificate and key that self_signed_certificate makes in directory."""
    return os.path.join(directory, "portal-cert.pem"), os.path.join(directory, "portal-key.pem")


def self_signed_certificate(directory, host="127.0.0.1", days=2):
    """Makes a throwaway certificate and key for host (an IP address) in directory; returns their paths."""
    certificate, key = certificate_files(directory)
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", str(days), "-keyout", key,
         "-out", certificate, "-subj", f"/CN={host}", "-addext", f"subjectAltName=IP:{host}"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True, timeout=60,
    )
    return certificate, key


TLS_VERSIONS = {0x0300: "SSL 3.0", 0x0301: "TLS 1.0", 0x0302: "TLS 1.1", 0x0303: "TLS 1.2", 0x0304: "TLS 1.3"}


def client_hello(data):
    """What the first TLS record of a connection says, when it is a ClientHello: {"version": the hello's own
    version, "versions": those of its supported_versions extension (TLS 1.3 clients), "sni": the server name
    asked for or None}. None when data is no ClientHello."""
    if len(data) < 9 or data[0] != 22 or data[5] != 1:  # handshake record, ClientHello message
        return None
    body = data[9 : 5 + int.from_bytes(data[3:5], "big")]
    hello = {"version": TLS_VERSIONS.get(int.from_bytes(body[0:2], "big"), body[0:2].hex()), "versions": [],
             "sni": None}
    at = 2 + 32  # version, random
    at += 1 + body[at] if at < len(body) else 0  # session id
    at += 2 + int.from_bytes(body[at : at + 2], "big")  # cipher suites
    at += 1 + body[at] if at < len(body) else 0  # compression methods
    end = min(len(body), at + 2 + int.from_bytes(body[at : at + 2], "big"))
    at += 2
    while at + 4 <= end:
        kind, length = int.from_bytes(body[at : at + 2], "big"), int.from_bytes(body[at + 2 : at + 4], "big")
        value = body[at + 4 : at + 4 + length]
        if kind == 0 and len(value) > 5 and value[2] == 0:  # server_name: a host name
            hello["sni"] = value[5 : 5 + int.from_bytes(value[3:5], "big")].decode("ascii", "replace")
        elif kind == 43 and value:  # supported_versions; GREASE values are not versions
            for i in range(1, 1 + value[0], 2):
                version = int.from_bytes(value[i : i + 2], "big")
                if version in TLS_VERSIONS:
                    hello["versions"].append(TLS_VERSIONS[version])
        at += 4 + length
    return hello


class TlsServer(http.server.ThreadingHTTPServer):
    """The HTTP server over TLS, with the certificate and key in certificate_dir. For each
    connection it calls on_hello with what client_hello() read from the connection's first record (None
    when there was none), then on_handshake with None when the handshake succeeded or the error it ended
    with, then serves the connection like the plain server, and calls on_closed once the connection has
    ended. A client that checks the certificate only after the handshake (as Windows' HTTP stack does)
    completes the handshake, then closes the connection without a request when it refuses it."""

    daemon_threads = True

    def __init__(self, address, handler, certificate_dir, on_hello, on_handshake, on_closed=lambda: None):
        super().__init__(address, handler)
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(*certificate_files(certificate_dir))
        self.on_hello = on_hello
        self.on_handshake = on_handshake
        self.on_closed = on_closed

    def finish_request(self, request, client_address):
        try:
            self._finish_tls_request(request, client_address)
        finally:
            self.on_closed()

    def _finish_tls_request(self, request, client_address):
        request.settimeout(10)
        data = b""
        deadline = time.monotonic() + 10
        try:
            # Peeked, not read: the TLS handshake reads the same bytes afterwards.
            while time.monotonic() < deadline:
                data = request.recv(16389, socket.MSG_PEEK)
                if not data or (len(data) >= 5 and len(data) >= 5 + int.from_bytes(data[3:5], "big")):
                    break
                time.sleep(0.05)
        except OSError:
            pass
        self.on_hello(client_hello(data))
        try:
            connection = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as error:
            self.on_handshake(error)
            return
        self.on_handshake(None)
        try:
            super().finish_request(connection, client_address)
        finally:
            connection.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=18218)
    parser.add_argument("--tls", action="store_true", help="serve https, with a certificate made at start")
    parser.add_argument("--make-certificate", metavar="DIR",
                        help="only make a certificate for 127.0.0.1, valid ten years, in DIR for --tls servers")
    options = parser.parse_args()

    if options.make_certificate:
        os.makedirs(options.make_certificate, exist_ok=True)
        self_signed_certificate(options.make_certificate, days=3650)
        return 0

    def log_hello(hello):
        sys.stderr.write(f"portal: TLS ClientHello {hello}\n" if hello else "portal: a connection without a ClientHello\n")

    def log_handshake(error):
        sys.stderr.write(f"portal: TLS handshake {'failed: ' + str(error) if error else 'done'}\n")

    def log_closed():
        sys.stderr.write("portal: TLS connection closed\n")

    certificates = tempfile.TemporaryDirectory(prefix="tavaren-portal-") if options.tls else None
    try:
        if certificates:
            self_signed_certificate(certificates.name)
            server = TlsServer(("127.0.0.1", options.port), Handler, certificates.name, log_hello, log_handshake,
                               log_closed)
        else:
            server = http.server.ThreadingHTTPServer(("127.0.0.1", options.port), Handler)
    except (OSError, subprocess.SubprocessError) as error:
        sys.stderr.write(f"portal: cannot serve on 127.0.0.1:{options.port}: {error}\n")
        return 1
    server.daemon_threads = True

    def stop(*_):
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    parent = os.getppid()

    def watch_parent():
        while os.getppid() == parent:
            time.sleep(1)
        stop()

    threading.Thread(target=watch_parent, daemon=True).start()
    scheme = "https" if certificates else "http"
    sys.stderr.write(f"portal: serving {scheme}://127.0.0.1:{options.port}/\n")
    sys.stderr.flush()
    server.serve_forever()
    server.server_close()
    if certificates:
        certificates.cleanup()
    return 0


if __name__ == "__main__":
    sys.exit(main())
