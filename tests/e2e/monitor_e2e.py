#!/usr/bin/env python3
"""End-to-end run of the real program: it is started on Qt's offscreen
platform in a temporary directory, with sites on a loopback HTTP server and a
real SMTP server (aiosmtpd) on loopback. Time runs 100 times faster under
libfaketime, so the first pass comes within seconds without any switch in the
program. After one pass the program is stopped with SIGTERM and its files are
checked. With --memcheck the program runs under valgrind memcheck, and any
leak or memory error in our own code fails the test."""
import http.server
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import fasttime

import memcheck

DEADLINE = 90  # seconds of real time for the whole run



class Pages(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = {"/good": b"<html>Welcome home</html>", "/changed": b"<html>Under maintenance</html>"}.get(
            self.path, b"not here")
        self.send_response(200 if self.path in ("/good", "/changed") else 404)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    exe = os.path.abspath(sys.argv[1])
    under_memcheck = memcheck.requested()
    slowdown = memcheck.SLOWDOWN if under_memcheck else 1
    # The library itself, preloaded straight into the program: the faketime
    # wrapper would stand between the test and the program's signals.
    faketime = fasttime.LIBRARY
    try:
        from aiosmtpd.controller import Controller
    except ImportError:
        print("SKIP: python3-aiosmtpd is not installed")
        return 0
    if not faketime:
        print("SKIP: faketime is not installed")
        return 0

    mails = []

    class Store:
        async def handle_DATA(self, server, session, envelope):
            mails.append((envelope.mail_from, list(envelope.rcpt_tos), envelope.content.decode("latin-1")))
            return "250 OK"

    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pages)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()
    web = "http://127.0.0.1:%d" % httpd.server_address[1]
    smtp_port = fasttime.free_port()
    smtp = Controller(Store(), hostname="127.0.0.1", port=smtp_port)
    smtp.start()
    refused = "http://127.0.0.1:%d/" % fasttime.free_port()

    work = tempfile.mkdtemp(prefix="vantrel-e2e-")
    proc = None
    try:
        with open(os.path.join(work, "vantrel.ini"), "wb") as f:
            f.write(("CREATOR=Vantrel 1.0\r\nYOURNAME=Ops\r\nYOUREMAIL=ops@example.test\r\n"
                     "EMAIL1=ops@example.test\r\nEMAIL2=\r\nLOGFILE=\r\nERRORSOUND=\r\nNOTIFY=On Change\r\n"
                     "INTERVAL=5\r\nSMTPSERVER=127.0.0.1:%d\r\nTOOLTIPS=yes\r\nMONITOR=yes\r\nEVERYERROR=no\r\n\r\n"
                     % smtp_port).encode())
        sites = [  # file order is bottom row first
            ("Refused", refused, "", "Email", "OK"),
            ("Changed", web + "/changed", "Welcome", "Email", "OK"),
            ("Back", web + "/good", "Welcome", "Email", "404"),
            ("Steady", web + "/good", "Welcome", "Email", "OK"),
        ]
        records = []
        for title, url, test, action, status in sites:
            records.append("ST=%s\r\nURL=%s\r\nTESTSTRING=%s\r\nCREATE=01 Dec 2026\r\nCHECK=\r\nURLEMAIL=\r\n"
                           "ACTION=%s\r\nSTATUS=%s\r\n" % (title, url, test, action, status))
        with open(os.path.join(work, "vantrel.dat"), "wb") as f:
            f.write(("CREATOR=Vantrel 1.0\r\n" + "\r\n".join(records)).encode())

        env = fasttime.environment(os.environ, 100, QT_QPA_PLATFORM="offscreen")
        # In a sanitizer build the preloaded library comes before the sanitizer's runtime.
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0").lstrip(":")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        report = os.path.join(work, "memcheck.xml")
        command = memcheck.wrap([exe], report) if under_memcheck else [exe]
        proc = subprocess.Popen(command, cwd=work, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        log = os.path.join(work, "vantrel.log")
        start = time.time()
        while time.time() - start < DEADLINE * slowdown:
            text = open(log, "rb").read().decode("latin-1") if os.path.exists(log) else ""
            if text.count("\r\n") >= 4 and len(mails) >= 3:
                break
            if proc.poll() is not None:
                break
            time.sleep(0.2)
        time.sleep(0.5)
        proc.send_signal(signal.SIGTERM)
        try:
            out = proc.communicate(timeout=30 * slowdown)[0].decode("latin-1")
        except subprocess.TimeoutExpired:
            proc.kill()
            out = proc.communicate()[0].decode("latin-1")
            return fail("the program did not end after SIGTERM\n" + out)

        failures = []
        logtext = open(log, "rb").read().decode("latin-1") if os.path.exists(log) else ""
        lines = logtext.split("\r\n")
        stamp = r"\d\d [A-Z][a-z][a-z] \d{4} \d\d:\d\d:\d\d"
        expected_lines = [
            r"^$",
            r"^%s %s OK$" % (stamp, re.escape(web + "/good")),
            r"^%s %s OK$" % (stamp, re.escape(web + "/good")),
            r"^%s %s Bad - Test String text Not Found$" % (stamp, re.escape(web + "/changed")),
            r"^%s %s 404$" % (stamp, re.escape(refused)),
        ]
        if len(lines) < 5 or not all(re.match(p, l) for p, l in zip(expected_lines, lines)):
            failures.append("log:\n" + logtext)

        subjects = sorted(re.search(r"Subject: (.*)", m[2]).group(1).strip() for m in mails[:3])
        if subjects != ["Vantrel Error Report", "Vantrel Error Report", "Vantrel Recovery Report"]:
            failures.append("mails: %r" % (mails,))
        for m in mails:
            if m[0] != "ops@example.test" or m[1] != ["ops@example.test"]:
                failures.append("envelope: %r" % (m[:2],))
        if not any(web + "/good Service Restored." in m[2] for m in mails):
            failures.append("no recovery body line")

        dat = open(os.path.join(work, "vantrel.dat"), "rb").read().decode("latin-1")
        statuses = re.findall(r"STATUS=(.*)\r\n", dat)
        checks = re.findall(r"CHECK=(.*)\r\n", dat)
        if statuses != ["404", "Bad - Test String text Not Found", "OK", "OK"]:
            failures.append("statuses in vantrel.dat: %r" % statuses)
        if len(checks) != 4 or not all(re.match(stamp + "$", c) for c in checks):
            failures.append("check dates in vantrel.dat: %r" % checks)
        if proc.returncode != 0:
            failures.append("exit status %d" % proc.returncode)
        if under_memcheck:
            failures.extend(memcheck.check(report))
        if failures:
            return fail("\n".join(failures) + "\nprogram output:\n" + out)
        print("1 passed, 0 failed")
        return 0
    finally:
        if proc and proc.poll() is None:
            proc.kill()
        smtp.stop()
        httpd.shutdown()
        shutil.rmtree(work, ignore_errors=True)


def fail(message):
    print(message)
    print("0 passed, 1 failed")
    return 1


if __name__ == "__main__":
    sys.exit(main())
