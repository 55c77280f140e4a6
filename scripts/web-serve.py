#!/usr/bin/env python3
"""Serves the page's folder (build-web/) over HTTP on this machine, as a static web server
would publish it.

    scripts/web-serve.py [--port PORT] [--bind ADDRESS] [FOLDER]

FOLDER defaults to build-web beside this script's tree, PORT to 8000 (0 picks a free one), the
address to 127.0.0.1: browsers allow the sound worklet only on https pages and on localhost.
Every answer says not to cache, so a rebuilt page is seen at once. The page uses no threads, so
it needs no cross-origin isolation headers. Prints the address, then serves until interrupted.
"""
import argparse
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript"}

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, format, *args):
        pass


def serve(folder, port=0, bind="127.0.0.1"):
    """A server for the folder, not yet serving: call serve_forever() on it."""
    handler = functools.partial(Handler, directory=folder)
    return http.server.ThreadingHTTPServer((bind, port), handler)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Serves the page's folder over HTTP.")
    parser.add_argument("folder", nargs="?", default=os.path.join(here, "..", "build-web"))
    parser.add_argument("--port", type=int, default=8000)
    parser.add_argument("--bind", default="127.0.0.1")
    options = parser.parse_args()
    if not os.path.isfile(os.path.join(options.folder, "index.html")):
        sys.exit("web-serve: no index.html in %s (run make web first)" % options.folder)
    server = serve(options.folder, options.port, options.bind)
    host, port = server.server_address[:2]
    print("web-serve: http://%s:%d/ (Ctrl+C stops)" % (host, port), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
