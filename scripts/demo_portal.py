#!/usr/bin/env python3
"""A stand-in for the publisher's portal, for trying the launcher on this machine.

Serves the launcher's start page (/, with any query) and the statistics page (/stats/tavaren.html) on
127.0.0.1 only, and logs each request on standard error. Its pages do what the README asks of the portal
("For the portal's authors"): they ask for the newest document mode (the X-UA-Compatible header, and the
<meta> tag for a copy saved as a file) and handle their own script errors. Stops on SIGTERM or SIGINT, and by itself when
the process that started it goes away.

    demo_portal.py [--port 18218]
"""

import argparse
import html
import http.server
import os
import signal
import sys
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


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=18218)
    options = parser.parse_args()

    try:
        server = http.server.ThreadingHTTPServer(("127.0.0.1", options.port), Handler)
    except OSError as error:
        sys.stderr.write(f"portal: cannot listen on 127.0.0.1:{options.port}: {error}\n")
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
    sys.stderr.write(f"portal: serving http://127.0.0.1:{options.port}/\n")
    sys.stderr.flush()
    server.serve_forever()
    server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
