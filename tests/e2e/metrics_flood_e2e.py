#!/usr/bin/env python3
"""The metrics endpoint under a flood, as it was found: the real program,
headless, with an open-file limit of 1024 and METRICS on a loopback port,
while a client opens connections as fast as it can and holds them. Time runs
100 times faster, so a pass comes every 3 seconds. Every pass must check
every site with the outcome it has without the flood (the log complete, good
sites "OK", the refused one "404", the history agreeing), the endpoint holds
at most 32 connections and closes the rest at once, and SIGTERM still saves
the list and ends with 0.

Also here: a bearer token from a 0600 file (401 without it), labels without
the user name, password or query of a URL, base units, and promtool's
verdict on the text where the prometheus package is installed.

    metrics_flood_e2e.py VANTREL [--seconds N] [--quiet]

--seconds: the flood's length (4 by default); --quiet: the same time without
a flood, the anchor the benchmark compares with.
"""
import os
import re
import resource
import select
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time

import fasttime
import fixture

TOKEN = "s3cret-scrape-token"
LIMIT = 1024  # the open-file limit the fault was found with



def flood(port, seconds, stats):
    """Opens connections as fast as it can for `seconds` and holds up to
    3000 of them, oldest closed first; counts those the server closed at once."""
    held = []
    end = time.time() + seconds
    while time.time() < end:
        for _ in range(50):
            s = socket.socket()
            s.setblocking(False)
            try:
                s.connect(("127.0.0.1", port))
            except BlockingIOError:
                pass
            except OSError:
                s.close()
                continue
            held.append(s)
            stats["opened"] += 1
        while len(held) > 3000:
            held.pop(0).close()
        # Closed by the server: readable with nothing to read.
        recent = {s.fileno(): s for s in held[-200:]}
        poller = select.poll()
        for fd in recent:
            poller.register(fd, select.POLLIN)
        for fd, _ in poller.poll(0):
            s = recent[fd]
            try:
                if s.recv(1) == b"":
                    stats["closed"] += 1
                    held.remove(s)
                    s.close()
            except OSError:
                pass
        time.sleep(0.001)
    stats["held at the end"] = len(held)
    for s in held:
        s.close()


def log_records(work):
    return [line.split(" ") for line in fixture.log_lines(work)]


def main():
    exe = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[sys.argv.index("--seconds") + 1]) if "--seconds" in sys.argv else 4
    if fasttime.skipped():
        return 0
    web, base = fixture.serve(fixture.WelcomePage)
    sites = [("Shop", base + "/shop"), ("Login", base.replace("//", "//jo:hunter2@") + "/in?key=abc123"),
             ("Blog", base + "/blog"), ("Gone", "http://127.0.0.1:%d/" % fasttime.free_port())]
    port = fasttime.free_port()
    work = tempfile.mkdtemp(prefix="vantrel-flood-")
    proc = None
    failures = []
    text = ""
    try:
        # Bottom row first: the list shows the sites in the order above.
        fixture.write_folder(work, b"CREATOR=Vantrel 1.0\r\nINTERVAL=5\r\nTOOLTIPS=yes\r\nMONITOR=yes\r\n\r\n",
                             [fixture.site(title, url, status="New") for title, url in reversed(sites)])
        token = os.path.join(work, "token")
        with open(token, "w") as f:
            f.write(TOKEN + "\n")
        os.chmod(token, 0o600)
        with open(os.path.join(work, "vantrel-extra.ini"), "wb") as f:
            f.write(b"METRICS=%d\r\nMETRICSTOKENFILE=%s\r\n" % (port, token.encode()))
        proc = fasttime.start_headless([exe], work, 100,
                                       preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (LIMIT, LIMIT)))

        def passes():
            return len(log_records(work)) // len(sites)

        deadline = time.time() + 30
        while time.time() < deadline and passes() < 1 and proc.poll() is None:
            time.sleep(0.1)
        if passes() < 1:
            failures.append("no pass within 30 s")
        else:
            # The client needs more descriptors than the program may have.
            soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
            resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))
            stats = {"opened": 0, "closed": 0}
            before = passes()
            quiet = "--quiet" in sys.argv
            started = time.time()
            if quiet:
                time.sleep(seconds)
            else:
                flood(port, seconds, stats)
            during = passes() - before
            print("%s of %.0f s: %s, %d passes, %.2f passes a second" %
                  ("quiet" if quiet else "flood", seconds, stats, during, during / (time.time() - started)))
            if during < 1:
                failures.append("no pass ended during the flood")
            if not quiet and (stats["held at the end"] > 3000 or stats["closed"] == 0):
                failures.append("the connections beyond the cap were not closed at once: %s" % stats)
            # A pass after the flood, and the endpoint answers again.
            after = passes()
            deadline = time.time() + 30
            while time.time() < deadline and passes() <= after and proc.poll() is None:
                time.sleep(0.1)
            status, _, text = fixture.fetch(port, "/metrics", TOKEN)
            if status != 200:
                failures.append("/metrics after the flood: %d" % status)
            if fixture.fetch(port, "/metrics")[0] != 401 or fixture.fetch(port, "/metrics", "wrong")[0] != 401:
                failures.append("a request without the right token was not refused with 401")

        fasttime.terminate(proc, failures)

        # Every pass checked every site, in list order, with its usual outcome.
        expected = {url: ("404" if title == "Gone" else "OK") for title, url in sites}
        records = log_records(work)
        for i, r in enumerate(records):
            url = sites[i % len(sites)][1]
            if len(r) < 6 or r[4] != url or " ".join(r[5:]) != expected[url]:
                failures.append("log record %d is %r, not %s %s" % (i, " ".join(r), url, expected[url]))
                break
        dat = open(os.path.join(work, "vantrel.dat"), "rb").read().decode("latin-1")
        if dat.count("STATUS=OK") != 3 or dat.count("STATUS=404") != 1:
            failures.append("the list saved at the end holds other statuses:\n" + dat)
        db = sqlite3.connect(os.path.join(work, "vantrel-history.db"))
        rows = db.execute("SELECT s.title, v.status, count(*) FROM raw r JOIN sites s ON s.id = r.site "
                          "JOIN verdicts v ON v.id = r.verdict GROUP BY s.title, v.status").fetchall()
        db.close()
        for title, status, count in rows:
            if status != ("404" if title == "Gone" else "OK"):
                failures.append("the history holds %d checks of %s as %r" % (count, title, status))

        if text:
            if "hunter2" in text or "key=abc123" in text or "jo:" in text:
                failures.append("a label carries a URL's password or query")
            if not re.search(r'^vantrel_site_response_seconds\{title="Shop",url="[^"]+"\} [0-9.e-]+$', text, re.M):
                failures.append("no response time in seconds for Shop")
            if shutil.which("promtool"):
                lint = subprocess.run(["promtool", "check", "metrics"], input=text.encode(), capture_output=True,
                                      timeout=30)
                if lint.returncode != 0:
                    failures.append("promtool: " + (lint.stdout + lint.stderr).decode())
            else:
                print("SKIP promtool: the prometheus package is not installed")
        return fasttime.verdict(failures, "metrics:\n" + text + "\nprogram output:\n" + fasttime.output(work)[-4000:])
    finally:
        fasttime.kill(proc)
        web.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
