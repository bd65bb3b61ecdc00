#!/usr/bin/env python3
"""The local HTTP side of scripts/run: the server-list service and the update server on one port.

GET /serverinfo/server-address-checker.php answers the server list (success true, both entries: the update
server is this server itself, the database host is --db-host); every other GET is served from --root, where
the update folder /download/자동업데이트_v1/ holds the version files and the stand-in tools.
"""
import argparse
import functools
import http.server
import json
import os
import sys
import urllib.parse

LIST_PATH = "/serverinfo/server-address-checker.php"


class Handler(http.server.SimpleHTTPRequestHandler):
    server_list = b""

    def do_GET(self):
        if urllib.parse.urlsplit(self.path).path == LIST_PATH:
            body = self.server_list
            self.send_response(200)
            self.send_header("Content-Type", "application/json; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Cache-Control", "no-store")
            self.end_headers()
            self.wfile.write(body)
            return
        super().do_GET()

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.log_date_time_string(), format % args))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--db-host", default="127.0.0.1")
    args = parser.parse_args()

    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Handler, directory=args.root))
    port = server.server_address[1]
    Handler.server_list = json.dumps({
        "success": True,
        "data": {
            "ver": "1",
            "servers": [
                {"name": "자동업데이트_런처", "host": "127.0.0.1:%d" % port},
                {"name": "사내메신저DB서버", "host": args.db_host},
            ],
        },
    }, ensure_ascii=False).encode("utf-8")

    # Written last and renamed, so a reader never sees half a number.
    with open(args.port_file + ".tmp", "w") as f:
        f.write("%d\n" % port)
    os.replace(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
