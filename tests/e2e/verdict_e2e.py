#!/usr/bin/env python3
"""Whose fault failed checks are, as the real program tells it: each case on
a desktop of the test's own with a notification service of its own, sites
and a real SMTP server (aiosmtpd) on loopback, time 100 times faster.

- no network: a network namespace with loopback alone;
- DNS broken: the program's resolver is one of the test's own, on a
  loopback address, that answers every question with a failure;
- captive portal: every site sends its visitor to a login page on another
  host of this machine;
- only some sites fail: their own fault, alerted as usual.

In the first three, two passes log their checks as ever, one notification
says what is wrong, no mail goes out, the sites keep their state and the
history keeps the passes as not monitored. Nothing leaves the machine.

Usage: verdict_e2e.py PROGRAM"""
import os
import random
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import fasttime  # noqa: E402
import fixture  # noqa: E402
from fixture import log_lines  # noqa: E402

DOWN_TEXT = "Your connection seems down%s: 3 sites not reachable, not alerting"
CASES = {
    "no_network": DOWN_TEXT % "",
    "dns": DOWN_TEXT % " (the name server answers nothing)",
    "captive_portal": DOWN_TEXT % " (a login page at localhost)",
    "some_sites": None,
}


class Pages(fixture.Page):
    """/a /b /c: good, except /c in the "some_sites" case; /p/*: sent to the portal."""
    portal = None

    def do_GET(self):
        if self.path.startswith("/p/"):
            self.send_page(b"", 302, [("Location", Pages.portal)])
        elif self.path == "/login":
            self.send_page(b"<form>Sign in to the hotel network <input type=password name=p></form>")
        else:
            self.send_page(b"<html>Closed</html>" if self.path == "/c" else b"<html>Welcome</html>")


def serve_failing_dns(address, asked):
    """Answers every question at `address` (UDP) with SERVFAIL."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(address)

    def loop():
        while True:
            try:
                query, peer = sock.recvfrom(512)
            except OSError:
                return
            if len(query) < 12:
                continue
            asked.append(query)
            # Same id and question; a response (QR), recursion available, SERVFAIL.
            reply = query[:2] + bytes([0x80 | (query[2] & 0x01), 0x82]) + query[4:6] + b"\0\0\0\0\0\0" + query[12:]
            sock.sendto(reply, peer)

    threading.Thread(target=loop, daemon=True).start()
    return sock


def run_case(exe, case, resolver):
    """One case, in this process's namespaces; returns its failures."""
    failures = []
    httpd, _ = fixture.serve(Pages)
    port = httpd.server_address[1]
    Pages.portal = "http://localhost:%d/login" % port
    smtp = fixture.MailServer()
    asked = []
    dns = serve_failing_dns(resolver, asked) if case == "dns" else None
    sites = {"no_network": ["http://%s.example/" % n for n in ("shop", "news", "mail")],
             "captive_portal": ["http://127.0.0.1:%d/p/%s" % (port, n) for n in "abc"],
             "some_sites": ["http://127.0.0.1:%d/%s" % (port, n) for n in "abc"]}
    sites["dns"] = sites["no_network"]
    expected = CASES[case]
    work = tempfile.mkdtemp(prefix="vantrel-verdict-")
    try:
        fixture.write_folder(work, fixture.mail_settings(smtp.port, EVERYERROR="yes"),
                             [fixture.site("Site %d" % i, url, action="Email") for i, url in enumerate(sites[case])])
        with desktop.Desktop() as d:
            record = os.path.join(d.home, "notifications.jsonl")
            if not d.start_notifications(record, 90):
                return ["%s: the notification service did not start" % case]
            proc = d.start(exe, work, 100)
            desktop.wait_for(lambda: len(log_lines(work)) >= 6 or proc.poll() is not None, 40)
            time.sleep(0.5)
            shots = os.environ.get("VANTREL_E2E_SHOTS")
            if shots and expected:  # the window with its status line
                d.start(exe, work, 100, output=False).wait(timeout=20)
                wid = desktop.wait_for(lambda: d.window_of(proc.pid, "Vantrel: vantrel.dat - Offline"), 10)
                if wid and desktop.wait_for(lambda: d.mapped(wid), 10):
                    time.sleep(1)
                    d.run(["import", "-window", wid, os.path.join(shots, "verdict-%s.png" % case)], timeout=20)
            out = fasttime.terminate(proc, failures)
            shown = desktop.notifications(record)
        told = [n["body"] for n in shown if "connection" in n["body"]]
        mails = smtp.texts()
        lines = log_lines(work)
        with open(os.path.join(work, "vantrel.dat"), "rb") as f:
            statuses = [line[7:] for line in f.read().decode("latin-1").split("\r\n") if line.startswith("STATUS=")]
        db = sqlite3.connect(os.path.join(work, "vantrel-history.db"))
        try:
            reasons = {r for (r,) in db.execute("SELECT reason FROM unmonitored")}
        except sqlite3.OperationalError:
            reasons = set()
        db.close()

        if len(lines) < 6 or not all(" 404" in line or " Bad" in line for line in lines if "/c" in line or expected):
            failures.append("the checks are not logged as ever: %r" % lines)
        if expected:
            if told != [expected]:
                failures.append("notifications: %r" % told)
            if mails:
                failures.append("%d mails" % len(mails))
            if statuses != ["OK"] * 3:
                failures.append("the sites did not keep their state: %r" % statuses)
            if reasons != {case}:
                failures.append("not monitored in the history: %r" % reasons)
            if case == "dns" and not asked:
                failures.append("the resolver of the test was not asked")
        else:
            if told or reasons:
                failures.append("a fault of this machine was seen: %r %r" % (told, reasons))
            if not mails or "Vantrel Error Report" not in mails[0] or statuses.count("OK") != 2:
                failures.append("the site down was not alerted: %d mails, %r" % (len(mails), statuses))
        if failures:
            failures = ["%s: %s" % (case, f) for f in failures] + ["program output:\n" + out]
    finally:
        smtp.stop()
        httpd.shutdown()
        if dns:
            dns.close()
        shutil.rmtree(work, ignore_errors=True)
    return failures


def main():
    exe = os.path.abspath(sys.argv[1])
    if "--case" in sys.argv:
        case = sys.argv[sys.argv.index("--case") + 1]
        resolver = (sys.argv[sys.argv.index("--resolver") + 1], 53) if "--resolver" in sys.argv else None
        failures = run_case(exe, case, resolver)
        print("\n".join(failures))
        return 1 if failures else 0

    if fasttime.skipped(desktop.TOOLS_WITHOUT_TRAY + ("unshare", "ip", "mount"),
                        ("dbus", "gi.repository.GLib", "aiosmtpd.controller")):
        return 0
    if subprocess.run(["unshare", "-rn", "true"], capture_output=True).returncode != 0:
        print("SKIP: no network namespace may be made here")
        return 0

    scratch = tempfile.mkdtemp(prefix="vantrel-verdict-run-")
    # A loopback address of its own for the resolver, so that port 53 is free.
    resolver = "127.%d.%d.%d" % (random.randint(64, 250), random.randint(1, 250), random.randint(2, 250))
    resolv = os.path.join(scratch, "resolv.conf")
    with open(resolv, "w") as f:
        f.write("nameserver %s\noptions timeout:1 attempts:1\n" % resolver)
    me = [sys.executable, os.path.abspath(__file__), exe, "--case"]
    runs = {
        "no_network": ["unshare", "-rn", "sh", "-c", 'ip link set lo up && exec "$@"', "-"] + me + ["no_network"],
        "dns": ["unshare", "-m", "sh", "-c", 'mount --bind "$0" /etc/resolv.conf && exec "$@"', resolv]
               + me + ["dns", "--resolver", resolver],
        "captive_portal": me + ["captive_portal"],
        "some_sites": me + ["some_sites"],
    }
    failures = []
    try:
        for case, command in runs.items():
            try:
                r = subprocess.run(command, capture_output=True, text=True, timeout=100)
            except subprocess.TimeoutExpired:
                failures.append("%s: did not end in time" % case)
                continue
            if r.returncode != 0:
                failures.append("%s failed:\n%s%s" % (case, r.stdout, r.stderr))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return fasttime.verdict(failures, "")


if __name__ == "__main__":
    sys.exit(main())
