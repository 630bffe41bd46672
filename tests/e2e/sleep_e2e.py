#!/usr/bin/env python3
"""Sleep, resume and the network's changes as the real program meets them:
a fake logind and a fake NetworkManager on a system bus of the test's own,
the program on a desktop of the test's own, sites on a loopback HTTP server
and a real SMTP server (aiosmtpd) on loopback. Time runs 15 times faster,
so the five-minute interval is 20 s.

While the machine sleeps a site goes down: no check, no mail. Right after
the resume every site is checked, long before the next tick, and the mail
for the site down goes out then. The network going and coming back does the
same. Both stretches are kept in the history as not monitored, and the
chart shows them as a gap (with VANTREL_E2E_SHOTS set, a screenshot of it
is saved in that folder).

Usage: sleep_e2e.py PROGRAM"""
import os
import shutil
import sqlite3
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import fasttime  # noqa: E402
import fixture  # noqa: E402
from fixture import log_lines  # noqa: E402

SPEED = 15
DOWN = set()  # paths answered "Closed"


class Pages(fixture.Page):
    def do_GET(self):
        self.send_page(b"<html>Closed</html>" if self.path in DOWN else b"<html>Welcome</html>")


def run(exe, d, system, work, mails, failures):
    def check(ok, what):
        if not ok:
            failures.append(what)
        return ok

    proc = d.start(exe, work, SPEED)
    try:
        check(desktop.wait_for(lambda: system.locks, 20) == [("sleep", "delay")],
              "no delay lock on sleep taken: %r" % system.locks)
        # The first pass comes one interval after the start.
        if not check(desktop.wait_for(lambda: len(log_lines(work)) >= 3, 40), "no first pass"):
            return proc
        first_pass = time.monotonic()
        system.sleep(True)
        check(desktop.wait_for(system.lock_released, 10), "the lock was not let go before the sleep")
        DOWN.add("/b")
        # A tick falls into the sleep: it checks nothing.
        time.sleep(26 - (time.monotonic() - first_pass))
        check(len(log_lines(work)) == 3, "checked while asleep: %r" % log_lines(work))
        check(not mails, "mail while asleep")
        system.sleep(False)
        resumed = time.monotonic()
        check(desktop.wait_for(lambda: len(log_lines(work)) >= 6, 10), "no check after the resume")
        # The next tick is 40 s after the first pass.
        check(time.monotonic() - first_pass < 36, "the check waited for the tick, not the resume")
        check(desktop.wait_for(lambda: len(mails) == 1, 10), "no error report after the resume")
        check(desktop.wait_for(lambda: len(system.locks) == 2, 10), "the lock was not taken again")
        after = log_lines(work)[3:6]
        check(len(after) == 3 and "/b Bad" in after[1], "the site down is not logged after the resume: %r" % after)

        time.sleep(max(0.0, 1.0 - (time.monotonic() - resumed)))
        system.network(20)
        time.sleep(2)
        check(len(log_lines(work)) == 6, "checked while the network was down")
        system.network(70)
        check(desktop.wait_for(lambda: len(log_lines(work)) >= 9, 10), "no check after the network came back")
        check(time.monotonic() - first_pass < 38, "the check waited for the tick, not the network")
        check(len(mails) == 1, "a second mail for a site still down")

        # The window, with the first site's history.
        d.start(exe, work, SPEED, output=False).wait(timeout=20)
        wid = desktop.wait_for(lambda: d.window_of(proc.pid, "Vantrel: vantrel.dat"), 10)
        if check(wid and desktop.wait_for(lambda: d.mapped(wid), 10), "the window is not shown"):
            d.run(["xdotool", "windowsize", "--sync", wid, "900", "640"])
            d.run(["xdotool", "windowactivate", "--sync", wid])
            # Another tick, so the line goes on after the gaps.
            desktop.wait_for(lambda: len(log_lines(work)) >= 12, 15)
            d.run(["xdotool", "mousemove", "--window", wid, "60", "203", "click", "1"])  # the first row
            time.sleep(1.5)
            shots = os.environ.get("VANTREL_E2E_SHOTS")
            if shots:
                d.run(["import", "-window", wid, os.path.join(shots, "history-gap.png")], timeout=20)
    except Exception:
        proc.kill()
        raise
    return proc


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped(desktop.TOOLS_WITHOUT_TRAY, ("dbus", "gi.repository.GLib", "aiosmtpd.controller")):
        return 0
    httpd, web = fixture.serve(Pages)
    smtp = fixture.MailServer()
    work = tempfile.mkdtemp(prefix="vantrel-sleep-")
    failures = []
    try:
        fixture.write_folder(work, fixture.mail_settings(smtp.port),
                             [fixture.site(name.upper(), "%s/%s" % (web, name), action="Email") for name in "cba"])
        with desktop.Desktop() as d:
            system = desktop.FakeSystemBus(d)
            try:
                proc = run(exe, d, system, work, smtp.mails, failures)
                out = fasttime.terminate(proc, failures)
            finally:
                system.close()
        db = sqlite3.connect(os.path.join(work, "vantrel-history.db"))
        stretches = db.execute("SELECT reason, end - start FROM unmonitored ORDER BY start").fetchall()
        db.close()
        reasons = [r for r, _ in stretches]
        if reasons != ["asleep", "offline"] or not 20 * SPEED <= stretches[0][1] <= 30 * SPEED:
            failures.append("not monitored in the history: %r" % stretches)
        if failures:
            failures.append("log:\n" + "\n".join(log_lines(work)) + "\nprogram output:\n" + out)
    finally:
        smtp.stop()
        httpd.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.verdict(failures, "")


if __name__ == "__main__":
    sys.exit(main())
