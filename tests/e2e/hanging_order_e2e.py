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
import sys
import tempfile
import threading
import time

import fasttime
import fixture

DEADLINE = 80  # seconds of real time for the first pass
SITES = 60
release = threading.Event()


def kind(i):
    if i % 3 == 1:
        return "hang"
    return "bad" if i % 5 == 0 else "ok"


EXPECTED = {"hang": "404", "bad": "Bad - Test String text Not Found", "ok": "OK"}


class Pages(fixture.Page):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        if self.path.startswith("/hang"):
            release.wait(DEADLINE)  # silent until the test ends
            return
        self.send_page(b"<html>under maintenance</html>" if self.path.startswith("/bad")
                       else b"<html>Welcome home</html>")


class Server(http.server.ThreadingHTTPServer):
    request_queue_size = 128


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped():
        return 0
    server, base = fixture.serve(Pages, Server)
    work = tempfile.mkdtemp(prefix="vantrel-hanging-")
    proc = None
    failures = []
    text = ""
    try:
        # Records go bottom row first.
        fixture.write_folder(work,
                             b"CREATOR=Vantrel 1.0\r\nLOGFILE=checks.log\r\nINTERVAL=5\r\nTOOLTIPS=yes\r\nMONITOR=yes\r\n",
                             [fixture.site("Site %d" % i, "%s/%s%d" % (base, kind(i), i), action="")
                              for i in reversed(range(SITES))])
        proc = fasttime.start_headless([exe], work, 20)
        lines = []
        start = time.time()
        while time.time() - start < DEADLINE and proc.poll() is None:
            lines = fixture.log_lines(work, "checks.log")
            if len(lines) >= SITES:
                break
            time.sleep(0.2)
        release.set()
        fasttime.terminate(proc, failures)
        text = fasttime.output(work)

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
        fasttime.kill(proc)
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.verdict(failures, "program output:\n" + text)


if __name__ == "__main__":
    sys.exit(main())
