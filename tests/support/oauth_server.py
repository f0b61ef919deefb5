#!/usr/bin/env python3
"""A small OAuth 2.0 authorization server for the tests, on 127.0.0.1 only.

It speaks just enough of the grants the program uses:
  GET  /authorize    code grant: approves at once and redirects to redirect_uri
                     with a code and the state (the test plays the browser)
  POST /devicecode   device grant: a device code, a user code, the interval
  POST /token        authorization_code (checks PKCE S256 and redirect_uri),
                     device_code (--pending answers authorization_pending first,
                     --slow-down one slow_down, and a poll sooner than the
                     interval gets slow_down), refresh_token (rotates: every
                     refresh token is good once)
  POST /introspect   RFC 7662, for Dovecot's oauth2 passdb: active and username
  POST /withdraw     the user withdraws the grant: every token dies
  GET  /stats        what happened, as JSON, for the tests' checks

The port goes to the file named by --port-file once the server listens. The
server ends by itself after --lifetime seconds, and when its parent dies.
"""

import argparse
import base64
import hashlib
import json
import os
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class State:
    def __init__(self, args):
        self.args = args
        self.lock = threading.Lock()
        self.codes = {}  # code -> (challenge, redirect_uri)
        self.devices = {}  # device_code -> {"polls": n, "last": t, "interval": s, "slowed": bool}
        self.refresh_tokens = set()
        self.access_tokens = {}  # token -> expiry time
        self.stats = {"refreshes": 0, "refused_refreshes": 0, "introspections": 0,
                      "device_polls": 0, "slow_downs": 0, "code_exchanges": 0,
                      "pkce_failures": 0}

    def issue(self):
        """A new pair of tokens; the access token is --token-bytes long."""
        access = secrets.token_urlsafe(self.args.token_bytes)[: self.args.token_bytes]
        refresh = "rt-" + secrets.token_urlsafe(24)
        self.access_tokens[access] = time.time() + self.args.expires_in
        self.refresh_tokens.add(refresh)
        return {"access_token": access, "refresh_token": refresh, "token_type": "Bearer",
                "expires_in": self.args.expires_in, "scope": "mail"}


def s256(verifier):
    digest = hashlib.sha256(verifier.encode()).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode()


class Handler(BaseHTTPRequestHandler):
    server_version = "VexaloTestAuth/1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        data = json.dumps(body).encode()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def error(self, code, description=""):
        self.reply(400, {"error": code, "error_description": description})

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        fields = urllib.parse.parse_qs(self.rfile.read(length).decode(), keep_blank_values=True)
        return {name: values[0] for name, values in fields.items()}

    def do_GET(self):
        state = self.server.state
        url = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        if url.path == "/stats":
            with state.lock:
                self.reply(200, state.stats)
            return
        if url.path != "/authorize":
            self.reply(404, {})
            return
        if (query.get("response_type") != "code" or query.get("client_id") != state.args.client_id
                or query.get("code_challenge_method") != "S256" or not query.get("code_challenge")):
            self.reply(400, {"error": "invalid_request"})
            return
        code = "code-" + secrets.token_urlsafe(12)
        with state.lock:
            state.codes[code] = (query["code_challenge"], query.get("redirect_uri", ""))
        target = query["redirect_uri"] + "?" + urllib.parse.urlencode(
            {"code": code, "state": query.get("state", "")})
        self.send_response(302)
        self.send_header("Location", target)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_POST(self):
        state = self.server.state
        path = urllib.parse.urlsplit(self.path).path
        form = self.form()
        with state.lock:
            if path == "/introspect":
                state.stats["introspections"] += 1
                expiry = state.access_tokens.get(form.get("token", ""))
                if expiry is not None and expiry > time.time():
                    self.reply(200, {"active": True, "username": state.args.user})
                else:
                    self.reply(200, {"active": False})
                return
            if path == "/withdraw":
                state.refresh_tokens.clear()
                state.access_tokens.clear()
                self.reply(200, {})
                return
            if form.get("client_id") != state.args.client_id:
                self.reply(401, {"error": "invalid_client"})
                return
            if path == "/devicecode":
                device = "dc-" + secrets.token_urlsafe(12)
                state.devices[device] = {"polls": 0, "last": 0.0, "interval": state.args.interval,
                                         "slowed": False}
                base = "http://127.0.0.1:%d" % self.server.server_address[1]
                self.reply(200, {"device_code": device, "user_code": "VXLO-2024",
                                 "verification_uri": base + "/device", "expires_in": 600,
                                 "interval": state.args.interval,
                                 "message": "To sign in, open %s/device and enter the code "
                                            "VXLO-2024." % base})
                return
            if path != "/token":
                self.reply(404, {})
                return
            grant = form.get("grant_type")
            if grant == "refresh_token":
                token = form.get("refresh_token", "")
                if token not in state.refresh_tokens:
                    state.stats["refused_refreshes"] += 1
                    self.error("invalid_grant", "The refresh token was withdrawn or used before.")
                    return
                state.refresh_tokens.discard(token)
                state.stats["refreshes"] += 1
                self.reply(200, state.issue())
            elif grant == "authorization_code":
                state.stats["code_exchanges"] += 1
                challenge, redirect = state.codes.pop(form.get("code", ""), (None, None))
                if challenge is None or redirect != form.get("redirect_uri"):
                    self.error("invalid_grant", "unknown code or another redirect_uri")
                elif s256(form.get("code_verifier", "")) != challenge:
                    state.stats["pkce_failures"] += 1
                    self.error("invalid_grant", "PKCE verification failed")
                else:
                    self.reply(200, state.issue())
            elif grant == "urn:ietf:params:oauth:grant-type:device_code":
                state.stats["device_polls"] += 1
                device = state.devices.get(form.get("device_code", ""))
                if device is None:
                    self.error("expired_token")
                    return
                now = time.time()
                too_soon = now - device["last"] < device["interval"] - 0.2
                device["last"] = now
                device["polls"] += 1
                if too_soon or (state.args.slow_down and not device["slowed"]):
                    device["slowed"] = True
                    device["interval"] += 5
                    state.stats["slow_downs"] += 1
                    self.error("slow_down")
                elif device["polls"] <= state.args.pending:
                    self.error("authorization_pending")
                elif state.args.deny:
                    self.error("access_denied", "The user declined.")
                else:
                    del state.devices[form["device_code"]]
                    self.reply(200, state.issue())
            else:
                self.error("unsupported_grant_type")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--client-id", default="vexalo-test-client")
    parser.add_argument("--user", default="vexalo")
    parser.add_argument("--token-bytes", type=int, default=40)
    parser.add_argument("--expires-in", type=int, default=3600)
    parser.add_argument("--interval", type=int, default=1)
    parser.add_argument("--pending", type=int, default=0)
    parser.add_argument("--slow-down", action="store_true")
    parser.add_argument("--deny", action="store_true")
    parser.add_argument("--lifetime", type=int, default=600)
    args = parser.parse_args()

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.state = State(args)
    port_file = args.port_file
    with open(port_file + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)

    parent = os.getppid()

    def watch():
        end = time.time() + args.lifetime
        while time.time() < end and os.getppid() == parent:
            time.sleep(0.5)
        os._exit(0)

    threading.Thread(target=watch, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
