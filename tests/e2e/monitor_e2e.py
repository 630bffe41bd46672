#!/usr/bin/env python3
"""End-to-end run of the real program: it is started on Qt's offscreen
platform in a temporary directory, with sites on a loopback HTTP server and a
real SMTP server (aiosmtpd) on loopback. Time runs 100 times faster under
libfaketime, so the first pass comes within seconds without any switch in the
program. After one pass the program is stopped with SIGTERM and its files are
checked. With --memcheck the program runs under valgrind memcheck, and any
leak or memory error in our own code fails the test."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import fasttime
import fixture
import memcheck

DEADLINE = 90  # seconds of real time for the whole run


class Pages(fixture.Page):
    def do_GET(self):
        body = {"/good": b"<html>Welcome home</html>", "/changed": b"<html>Under maintenance</html>"}.get(
            self.path, b"not here")
        self.send_page(body, 200 if self.path in ("/good", "/changed") else 404)


def main():
    exe = os.path.abspath(sys.argv[1])
    under_memcheck = memcheck.requested()
    slowdown = memcheck.SLOWDOWN if under_memcheck else 1
    # The library itself is preloaded straight into the program: the
    # faketime wrapper would stand between the test and the program's signals.
    if fasttime.skipped(modules=("aiosmtpd.controller",)):
        return 0
    httpd, web = fixture.serve(Pages)
    smtp = fixture.MailServer()
    mails = smtp.mails
    refused = "http://127.0.0.1:%d/" % fasttime.free_port()

    work = tempfile.mkdtemp(prefix="vantrel-e2e-")
    proc = None
    try:
        fixture.write_folder(work, fixture.mail_settings(smtp.port), [  # bottom row first
            fixture.site("Refused", refused, "", "Email"),
            fixture.site("Changed", web + "/changed", action="Email"),
            fixture.site("Back", web + "/good", action="Email", status="404"),
            fixture.site("Steady", web + "/good", action="Email"),
        ], "\r\n")
        report = os.path.join(work, "memcheck.xml")
        command = memcheck.wrap([exe], report) if under_memcheck else [exe]
        proc = subprocess.Popen(command, cwd=work, env=fasttime.headless_environment(100, QT_QPA_PLATFORM="offscreen"),
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
        failures = []
        out = fasttime.terminate(proc, failures, 30 * slowdown)
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
        if under_memcheck:
            failures.extend(memcheck.check(report))
        return fasttime.verdict(failures, "program output:\n" + out)
    finally:
        fasttime.kill(proc)
        smtp.stop()
        httpd.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
