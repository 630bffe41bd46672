#!/usr/bin/env python3
"""A site's desktop notification can be acted on, through the real program
and a notification service of the test's own on a private bus, with the
program's clock sped up: a failing site gets one critical notification with
"Open site", "Check again" and "Snooze 1 h"; Open site hands its URL to the
browser, Check again checks it at once (outside the timer), Snooze 1 h writes
its SNOOZE key. While the service's do-not-disturb is on, a second site's
failure shows nothing; when it ends, one summary without actions shows it."""
import os
import shutil
import sys
import tempfile

import desktop
import fasttime
import fixture
from desktop import notifications

SPEED = 20  # the 5-minute interval passes in 15 s


class Pages(fixture.Page):
    """/shop never holds "Welcome"; /blog holds it until the test says not."""
    blog_up = True
    requests = []

    def do_GET(self):
        Pages.requests.append(self.path)
        up = self.path == "/blog" and Pages.blog_up
        self.send_page(b"<html>Welcome</html>" if up else b"<html>closed</html>")


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped(desktop.TOOLS, ("dbus",)):
        return 0
    work = tempfile.mkdtemp(prefix="vantrel-actions-")
    server, base = fixture.serve(Pages)
    failures = []
    try:
        fixture.write_folder(work, b"CREATOR=Vantrel 1.0\r\nMONITOR=yes\r\nINTERVAL=5\r\n",
                             [fixture.site("Blog", base + "/blog"), fixture.site("Shop", base + "/shop")])
        # The browser the program hands a page to: a script that notes it.
        browser = os.path.join(work, "browser")
        opened = os.path.join(work, "opened.txt")
        with open(browser, "w") as f:
            f.write("#!/bin/sh\necho \"$@\" >> '%s'\n" % opened)
        os.chmod(browser, 0o755)
        os.symlink(browser, os.path.join(work, "xdg-open"))
        with desktop.Desktop(tray=False) as d:
            record = os.path.join(work, "notifications.jsonl")
            if not d.start_notifications(record, 150):
                return fasttime.verdict(["the notification service did not start"], "")
            proc = d.start(exe, work, SPEED, BROWSER=browser, PATH=work + ":" + d.env["PATH"])
            try:
                failures = check(d.env["DBUS_SESSION_BUS_ADDRESS"], record, opened, base, work)
            finally:
                out = fasttime.terminate(proc, failures)
    finally:
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.verdict(failures, "program output:\n" + out)


def check(address, record, opened, base, work):
    import dbus
    bus = dbus.bus.BusConnection(address)
    control = dbus.Interface(bus.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications"),
                             "org.vantrel.TestControl")
    failures = []
    # The first pass, one interval after the start.
    if not desktop.wait_for(lambda: notifications(record), 40):
        return ["no notification for the failing site"]
    shop = notifications(record)[0]
    if shop["summary"] != "Vantrel: Shop failed" or shop["hints"].get("urgency") != 2:
        failures.append("first notification %r" % shop)
    if shop["actions"] != ["open", "Open site", "check", "Check again", "snooze", "Snooze 1 h"]:
        return failures + ["actions %r" % shop["actions"]]

    control.Invoke(dbus.UInt32(shop["id"]), "open")
    if not desktop.wait_for(lambda: os.path.exists(opened) and base + "/shop" in open(opened).read(), 10):
        failures.append("Open site handed no URL to the browser")

    before = Pages.requests.count("/shop")
    control.Invoke(dbus.UInt32(shop["id"]), "check")
    # At once: well before the next pass, which is 15 s of real time apart.
    if not desktop.wait_for(lambda: Pages.requests.count("/shop") > before, 6):
        failures.append("Check again did not check the site at once")

    control.Invoke(dbus.UInt32(shop["id"]), "snooze")
    dat = os.path.join(work, "vantrel.dat")
    if not desktop.wait_for(lambda: "SNOOZE=" in open(dat, newline="").read(), 5):
        failures.append("Snooze 1 h wrote no SNOOZE key")

    # Do-not-disturb: Blog fails unseen, then one summary without buttons.
    shown = len(notifications(record))
    control.SetInhibited(True)
    Pages.blog_up = False
    blog_checks = Pages.requests.count("/blog")
    if not desktop.wait_for(lambda: Pages.requests.count("/blog") > blog_checks + 0, 40):
        return failures + ["no pass checked Blog during do-not-disturb"]
    desktop.wait_for(lambda: False, 1.0)
    if len(notifications(record)) != shown:
        failures.append("a notification showed during do-not-disturb: %r" % notifications(record)[shown:])
    control.SetInhibited(False)
    if not desktop.wait_for(lambda: len(notifications(record)) > shown, 10):
        return failures + ["no summary when do-not-disturb ended"]
    summary = notifications(record)[shown]
    if summary["summary"] != "Vantrel: Blog failed" or summary["actions"]:
        failures.append("summary after do-not-disturb %r" % summary)
    return failures


if __name__ == "__main__":
    sys.exit(main())
