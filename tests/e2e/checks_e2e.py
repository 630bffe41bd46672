#!/usr/bin/env python3
"""The real program, headless, checking sites with options against a loopback
HTTP server (and an HTTPS one with a self-signed certificate): status sets,
each match kind and its inversion, JSON values, a site slow over several
checks that then recovers, extra headers, a User-Agent and basic and bearer
logins as the server sees them (the secret from the 0600 secrets file),
HEAD, a redirect not followed, an invalid certificate accepted, and sites on
an interval of their own beside one on the settings' interval. Time runs 100
times faster under libfaketime, so a one-minute interval is 0.6 s. The
statuses come from the log, the reasons from the metrics text; at the end
the saved list must still hold every option, and a site without options its
record as it was."""
import http.server
import os
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import time

import fasttime
import fixture

DEADLINE = 30  # seconds of real time for every expected result

seen = []  # (method, path, headers) of every request
slow_calls = [0]


class Pages(fixture.Page):
    protocol_version = "HTTP/1.1"

    def answer(self, status, body=b"", ctype="text/html", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        seen.append((self.command, self.path, dict(self.headers.items())))
        page = b"<html>Welcome  home</html>"
        path = self.path.split("?")[0]
        if path == "/ok" or path == "/head":
            self.answer(200, page)
        elif path == "/unavailable":
            self.answer(503, b"maintenance")
        elif path == "/health":
            self.answer(200, b'{"status": "ok", "checks": [{"db": true}]}', "application/json")
        elif path == "/slow":
            slow_calls[0] += 1
            if slow_calls[0] <= 3:
                time.sleep(0.2)  # 20 s on the program's clock
            self.answer(200, page)
        elif path == "/basic":
            good = self.headers.get("Authorization") == "Basic b3BzOnMzY3JldCB3b3Jk"  # ops:s3cret word
            self.answer(200 if good else 401, page)
        elif path == "/bearer":
            self.answer(200 if self.headers.get("Authorization") == "Bearer t0ken" else 401, page)
        elif path == "/moved":
            self.answer(302, b"moved", extra=[("Location", "/ok")])
        else:
            self.answer(404, b"not here")


class Server(http.server.ThreadingHTTPServer):
    # Room for every parallel connection at once: a refused SYN would cost
    # a second of real time, minutes on the program's clock.
    request_queue_size = 128
    daemon_threads = True


def record(title, url, test="", status="New", check="", **options):
    lines = ["ST=" + title, "URL=" + url, "TESTSTRING=" + test, "CREATE=01 Dec 2026", "CHECK=" + check,
             "URLEMAIL=", "ACTION=Sound", "STATUS=" + status]
    for key, value in options.items():
        for v in value if isinstance(value, list) else [value]:
            lines.append("%s=%s" % (key, v))
    return "\r\n".join(lines) + "\r\n"


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped():
        return 0
    work = tempfile.mkdtemp(prefix="vantrel-checks-")
    web, base = fixture.serve(Pages, Server)
    secure = None
    proc = None
    failures = []
    try:
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                        "-keyout", "key.pem", "-out", "cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1"],
                       cwd=work, check=True, capture_output=True, timeout=30)
        secure = Server(("127.0.0.1", 0), Pages)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(os.path.join(work, "cert.pem"), os.path.join(work, "key.pem"))
        secure.socket = context.wrap_socket(secure.socket, server_side=True)
        threading.Thread(target=secure.serve_forever, daemon=True).start()
        tls = "https://127.0.0.1:%d" % secure.server_address[1]

        every = {"EVERY": "1"}
        sites = [  # file order: bottom row first
            record("Plain", base + "/ok", "Welcome", status="OK"),
            record("Interval", base + "/ok?interval", "Welcome", STATUSCODES="200"),
            record("Codes good", base + "/ok?codes", STATUSCODES="200-299,301", **every),
            record("Codes bad", base + "/unavailable", STATUSCODES="200-299", **every),
            record("Nocase", base + "/ok?nocase", "WELCOME", MATCH="nocase", **every),
            record("Nocase inverted", base + "/ok?nocase-inv", "welcome", MATCH="nocase", INVERT="yes", **every),
            record("Text inverted", base + "/ok?text-inv", "Error", INVERT="yes", **every),
            record("Text inverted found", base + "/ok?text-inv-found", "Welcome", INVERT="yes", **every),
            record("Regex", base + "/ok?regex", r"Wel+come\s+home", MATCH="regex", **every),
            record("Regex inverted", base + "/ok?regex-inv", r"^<html>", MATCH="regex", INVERT="yes", **every),
            record("Json", base + "/health", "ok", MATCH="json", JSONPOINTER="/status", **every),
            record("Json nested", base + "/health?nested", "true", MATCH="json", JSONPOINTER="/checks/0/db",
                   **every),
            record("Json wrong", base + "/health?wrong", "degraded", MATCH="json", JSONPOINTER="/status", **every),
            record("Json inverted", base + "/health?inv", "ok", MATCH="json", JSONPOINTER="/status", INVERT="yes",
                   **every),
            record("Slow", base + "/slow", "Welcome", SLOWMS="10000", SLOWCOUNT="2", **every),
            record("Basic", base + "/basic", STATUSCODES="200", AUTH="basic", AUTHUSER="ops",
                   HEADER=["X-Probe: e2e", "Accept: application/json"], USERAGENT="e2e-agent/1", **every),
            record("Bearer", base + "/bearer", STATUSCODES="200", AUTH="bearer", **every),
            record("Head", base + "/head", METHOD="HEAD", STATUSCODES="200", **every),
            record("Not followed", base + "/moved", STATUSCODES="302", REDIRECTS="no", **every),
            record("Followed", base + "/moved?follow", STATUSCODES="200", **every),
            record("Insecure", tls + "/ok", "Welcome", INSECURE="yes", **every),
            record("Secure", tls + "/ok?secure", "Welcome", **every),
        ]
        fixture.write_folder(work, fixture.settings(), sites, "\r\n")
        dat = "CREATOR=Vantrel 1.0\r\n" + "\r\n".join(sites)
        metrics_port = fasttime.free_port()
        with open(os.path.join(work, "vantrel-extra.ini"), "wb") as f:
            # One fetch at a time: each response time is its own, however the
            # sped-up clock and the machine's load fall.
            f.write(b"CREATOR=Vantrel 1.0\r\nPARALLEL=1\r\nMETRICS=%d\r\n\r\n" % metrics_port)
        secrets = os.path.join(work, "vantrel-secrets")
        fd = os.open(secrets, os.O_WRONLY | os.O_CREAT, 0o600)
        os.write(fd, ("# site logins\nsite:%s/basic s3cret word\nsite:%s/bearer t0ken\n" % (base, base)).encode())
        os.close(fd)

        proc = fasttime.start_headless([exe], work, 100)

        log = os.path.join(work, "vantrel.log")
        stamp = r"\d\d [A-Z][a-z][a-z] \d{4} \d\d:\d\d:\d\d"

        def statuses():
            text = open(log, "rb").read().decode("latin-1") if os.path.exists(log) else ""
            found = {}
            for line in text.split("\r\n"):
                m = re.match(r"^%s (\S+) (.*)$" % stamp, line)
                if m:
                    found.setdefault(m.group(1), []).append(m.group(2))
            return found

        start = time.time()
        found = {}
        while time.time() - start < DEADLINE and proc.poll() is None:
            found = statuses()
            slow = found.get(base + "/slow", [])
            if base + "/ok?interval" in found and "Slow" in slow and slow[-1] == "OK" and len(slow) >= 4:
                break
            time.sleep(0.2)
        else:
            failures.append("not every expected check within %d s" % DEADLINE)
        metrics = ""
        try:
            metrics = fixture.fetch(metrics_port, "/metrics")[2]
        except OSError as e:
            failures.append("metrics: %s" % e)

        expected = {
            "/ok?codes": "OK", "/unavailable": "404", "/ok?nocase": "OK",
            "/ok?nocase-inv": "Bad - Test String text Not Found", "/ok?text-inv": "OK",
            "/ok?text-inv-found": "Bad - Test String text Not Found", "/ok?regex": "OK",
            "/ok?regex-inv": "Bad - Test String text Not Found", "/health": "OK", "/health?nested": "OK",
            "/health?wrong": "Bad - Test String text Not Found", "/health?inv": "Bad - Test String text Not Found",
            "/basic": "OK", "/bearer": "OK", "/head": "OK", "/moved": "OK", "/moved?follow": "OK",
        }
        for path, status in expected.items():
            got = found.get(base + path, [None])[-1]
            if got != status:
                failures.append("%s: %r, expected %r" % (path, got, status))
        for url, status in ((tls + "/ok", "OK"), (tls + "/ok?secure", "404")):
            if found.get(url, [None])[-1] != status:
                failures.append("%s: %r, expected %r" % (url, found.get(url), status))
        slow = found.get(base + "/slow", [])
        if slow[:4] != ["OK", "Slow", "Slow", "OK"]:
            failures.append("slow site: %r" % slow)
        # Own intervals: a check every 0.6 s beside one pass of the settings'
        # interval (3 s); the plain site rides along with that one.
        if len(found.get(base + "/ok?interval", [])) not in (1, 2) or len(found.get(base + "/ok?codes", [])) < 3:
            failures.append("intervals: %r" % {k: len(v) for k, v in found.items()})
        if len(found.get(base + "/ok", [])) != len(found.get(base + "/ok?interval", [])):
            failures.append("the plain site follows INTERVAL: %r" % {k: len(v) for k, v in found.items()})

        for title, reason in (("Codes bad", "http_status"), ("Json wrong", "json"), ("Secure", "certificate"),
                              ("Nocase inverted", "text"), ("Regex inverted", "pattern"), ("Codes good", "none")):
            if not re.search(r'^vantrel_site_reason\{title="%s",url="[^"]+",reason="%s"\} 1$' % (title, reason),
                             metrics, re.M):
                failures.append("no reason %s for %s in the metrics" % (reason, title))

        by_path = {}
        for method, path, headers in seen:
            by_path.setdefault(path, (method, headers))
        basic = by_path.get("/basic", ("", {}))[1]
        if basic.get("X-Probe") != "e2e" or basic.get("Accept") != "application/json" or \
                basic.get("User-Agent") != "e2e-agent/1":
            failures.append("headers at the server: %r" % basic)
        plain = by_path.get("/ok", ("", {}))[1]
        if plain.get("User-Agent") != "Vantrel 1.0" or plain.get("Accept") != "*/*" or "Authorization" in plain:
            failures.append("plain request: %r" % plain)
        if by_path.get("/head", ("",))[0] != "HEAD":
            failures.append("HEAD not used: %r" % (by_path.get("/head"),))
        if sum(1 for m, p, h in seen if p == "/ok" and h.get("Authorization")):
            failures.append("a login went where it was not asked for")

        fasttime.terminate(proc, failures)
        saved = open(os.path.join(work, "vantrel.dat"), "rb").read().decode("latin-1")
        # Every option is still there, after its record's eight lines, and
        # the plain record is what it was but for its check and status.
        for line in re.findall(r"^[A-Z]+=.*$", dat, re.M):
            if not line.startswith(("CHECK=", "STATUS=")) and saved.count(line + "\r\n") != dat.count(line + "\r\n"):
                failures.append("saved list lost or changed %r" % line)
        plain_saved = re.search(r"ST=Plain\r\n(?:.*\r\n){7}", saved)
        plain_was = re.sub(r"CHECK=.*\r\n", "CHECK=\r\n", plain_saved.group(0)) if plain_saved else ""
        if plain_was != sites[0]:
            failures.append("plain record: %r" % plain_was)
        return fasttime.verdict(failures, "metrics:\n" + metrics + "\nprogram output:\n" + fasttime.output(work))
    finally:
        fasttime.kill(proc)
        web.shutdown()
        if secure:
            secure.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
