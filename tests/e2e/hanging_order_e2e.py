#!/usr/bin/env python3
"""The real program, headless, over 60 loopback sites of which every third
never answers (the server reads the request and stays silent) and every
fifth lacks its test string, at the default number of parallel fetches.
Time runs 20 times faster under libfaketime, so the stall limit of 30 s is
1.5 s (time enough for this server to answer the others under load) and the
first pass comes after 15 s. The log of the first pass
must hold every site once, in list order, with its own status: the hanging
sites "404", the others "OK" or "Bad - Test String text Not Found"."""
import http.server
import os
import shutil
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

import fasttime

DEADLINE = 80  # seconds of real time for the first pass
SITES = 60
release = threading.Event()


def kind(i):
    if i % 3 == 1:
        return "hang"
    return "bad" if i % 5 == 0 else "ok"


EXPECTED = {"hang": "404", "bad": "Bad - Test String text Not Found", "ok": "OK"}


class Pages(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        if self.path.startswith("/hang"):
            release.wait(DEADLINE)  # silent until the test ends
            return
        body = b"<html>under maintenance</html>" if self.path.startswith("/bad") else b"<html>Welcome home</html>"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    request_queue_size = 128


def site_list(base):
    # Records go bottom row first.
    records = []
    for i in reversed(range(SITES)):
        records.append("ST=Site %d\r\nURL=%s/%s%d\r\nTESTSTRING=Welcome\r\nCREATE=01 Dec 2026\r\nCHECK=\r\n"
                       "URLEMAIL=\r\nACTION=\r\nSTATUS=OK\r\n" % (i, base, kind(i), i))
    return ("CREATOR=Vantrel 1.0\r\n" + "".join(records)).encode()


def main():
    exe = os.path.abspath(sys.argv[1])
    if not fasttime.LIBRARY:
        print("SKIP: faketime is not installed")
        return 0
    server = Server(("127.0.0.1", 0), Pages)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d" % server.server_address[1]
    work = tempfile.mkdtemp(prefix="vantrel-hanging-")
    proc = None
    failures = []
    text = ""
    try:
        with open(os.path.join(work, "vantrel.ini"), "wb") as f:
            f.write(b"CREATOR=Vantrel 1.0\r\nLOGFILE=checks.log\r\nINTERVAL=5\r\nTOOLTIPS=yes\r\nMONITOR=yes\r\n")
        with open(os.path.join(work, "vantrel.dat"), "wb") as f:
            f.write(site_list(base))
        env = fasttime.environment(os.environ, 20)
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0").lstrip(":")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        output = os.path.join(work, "output.txt")
        with open(output, "wb") as out:
            proc = subprocess.Popen([exe], cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)
        log = os.path.join(work, "checks.log")
        lines = []
        start = time.time()
        while time.time() - start < DEADLINE and proc.poll() is None:
            if os.path.exists(log):
                lines = [l for l in open(log, "rb").read().decode("latin-1").split("\r\n") if l]
                if len(lines) >= SITES:
                    break
            time.sleep(0.2)
        release.set()
        fasttime.terminate(proc, failures)
        text = open(output, "rb").read().decode("latin-1")

        first = lines[:SITES]
        if len(first) < SITES:
            failures.append("the first pass logged %d of %d sites" % (len(first), SITES))
        for i, line in enumerate(first):
            parts = line.split(" ", 5)
            want_url = "%s/%s%d" % (base, kind(i), i)
            want_status = EXPECTED[kind(i)]
            if len(parts) < 6 or parts[4] != want_url or parts[5] != want_status:
                failures.append("log line %d is %r, not %s %s" % (i, line, want_url, want_status))
    finally:
        release.set()
        if proc and proc.poll() is None:
            proc.kill()
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.verdict(failures, "program output:\n" + text)


if __name__ == "__main__":
    sys.exit(main())
