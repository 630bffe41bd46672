#!/usr/bin/env python3
"""The window as a user meets it on a desktop of the test's own: a site
marked in the list shows its short history in a chart that fills its width,
and Advanced... (Alt+V) opens the current entry's options. A first start in
an empty folder shows the window at once; where the user moved and sized it
is where the next start puts it, and the Preferences explain their added
controls in tool tips. On the Channels tab of the Preferences, Send Test
sends the one channel's test alert to a loopback ntfy service of the test's
own, and shows its answer. With VANTREL_E2E_SHOTS set, screenshots are saved
in that folder.

Usage: window_polish_e2e.py PROGRAM"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop  # noqa: E402
import fasttime  # noqa: E402
import fixture  # noqa: E402

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


class Pages(fixture.Page):
    def do_GET(self):
        self.close_connection = True
        if self.path == "/ok":
            self.send_page(b"<html>Welcome</html>")
        else:
            self.send_page(b"down for maintenance", 503)

    def do_POST(self):
        # An ntfy service: it takes the message and answers with the event.
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        alerts.append((self.path, dict(self.headers), body))
        self.close_connection = True
        self.send_page(b'{"id":"hN3q8mXf","event":"message","topic":"shop-alerts"}')


alerts = []


def send_test(d, proc, main, shots):
    """Options > Preferences, the Channels tab, the one channel, Send Test."""
    d.run(["xdotool", "windowactivate", "--sync", main])
    d.run(["xdotool", "key", "--window", main, "alt+o", "p"])
    prefs = desktop.wait_for(lambda: d.window_of(proc.pid, "Preferences"), 10)
    if not check(prefs, "Options > Preferences opened no dialog"):
        return
    time.sleep(1)
    # Ctrl+Tab twice: General, Advanced, Channels; then into the list, its
    # first row, and across Add..., Edit... and Remove to Send Test.
    d.run(["xdotool", "key", "--window", prefs, "--delay", "150", "ctrl+Tab", "ctrl+Tab", "Tab", "Down",
           "Tab", "Tab", "Tab", "Tab", "space"])
    # The running monitor may alert the channel too: the test alert is the
    # one named so.
    tests = lambda: [a for a in alerts if "Vantrel Test" in a[1].get("Title", "")]
    check(desktop.wait_for(tests, 15), "Send Test sent nothing: %r" % alerts)
    time.sleep(1)
    if shots:
        d.run(["import", "-window", prefs, os.path.join(shots, "preferences-channels.png")], timeout=20)


def geometry(d, wid):
    """The window's position and size as xdotool reports them."""
    out = d.run(["xdotool", "getwindowgeometry", wid])
    return " ".join(line.split(":", 1)[1].split("(")[0].strip() for line in out.splitlines()[1:3])


def stop(proc):
    proc.terminate()
    try:
        proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=10)
    return proc.returncode


def first_start(exe, shots):
    work = tempfile.mkdtemp(prefix="vantrel-first-")
    try:
        with desktop.Desktop() as d:
            run = lambda: subprocess.Popen([exe], cwd=work, env=d.env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
            proc = run()
            try:
                wid = desktop.wait_for(lambda: d.window_of(proc.pid, "Vantrel: vantrel.dat"), 20)
                if not check(wid and desktop.wait_for(lambda: d.mapped(wid), 10),
                             "a first start without sites did not show the window (%s: %s)"
                             % (wid, (d.xprop("-id", wid, "WM_STATE", "_NET_WM_STATE") + d.run(["xwininfo", "-id", wid])).strip() if wid else
                                d.run(["xdotool", "search", "--all", "--pid", str(proc.pid)]).split())):
                    return
                time.sleep(1)
                if shots:
                    d.screenshot(os.path.join(shots, "first-start.png"))
                d.run(["xdotool", "windowsize", "--sync", wid, "760", "560"])
                d.run(["xdotool", "windowmove", "--sync", wid, "140", "90"])
                time.sleep(0.5)
                placed = geometry(d, wid)
                # Options > Preferences, its Advanced page, the mouse over Pages at Once.
                d.run(["xdotool", "windowactivate", "--sync", wid])
                d.run(["xdotool", "key", "--window", wid, "alt+o", "p"])
                prefs = desktop.wait_for(lambda: d.window_of(proc.pid, "Preferences"), 10)
                if check(prefs and desktop.wait_for(lambda: d.mapped(prefs), 10), "no Preferences"):
                    d.run(["xdotool", "key", "--window", prefs, "ctrl+Tab"])
                    d.run(["xdotool", "mousemove", "--window", prefs, "150", "166"])
                    time.sleep(0.3)
                    d.run(["xdotool", "mousemove_relative", "2", "0"])
                    time.sleep(2)
                    if shots:
                        d.screenshot(os.path.join(shots, "preferences-tooltip.png"))
                    # Typed as a user types it (a key sent to the dialog's window
                    # alone reaches the main window too, which Esc ends).
                    d.run(["xdotool", "windowactivate", "--sync", prefs])
                    d.run(["xdotool", "key", "Escape"])
                    check(desktop.wait_for(lambda: not d.mapped(prefs), 10), "Esc left the Preferences open")
                    check(proc.poll() is None, "Esc in the Preferences ended the program")
            finally:
                check(stop(proc) == 0, "the first run did not end cleanly")
            with open(os.path.join(work, "vantrel-extra.ini"), "rb") as f:
                check(b"\r\nWINDOWGEOMETRY=" in f.read(), "the window's place was not kept")
            with open(os.path.join(work, "vantrel.ini"), "rb") as f:
                check(b"WINDOW" not in f.read(), "the window's place went into vantrel.ini")
            proc = run()
            try:
                wid = desktop.wait_for(lambda: d.window_of(proc.pid, "Vantrel: vantrel.dat"), 20)
                if check(wid and desktop.wait_for(lambda: d.mapped(wid), 10), "the second start showed no window"):
                    time.sleep(1)
                    again = geometry(d, wid)
                    check(again == placed, "the window came back at %s, not at %s" % (again, placed))
            finally:
                check(stop(proc) == 0, "the second run did not end cleanly")
    finally:
        subprocess.run(["rm", "-rf", work])


def report():
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped(desktop.TOOLS_WITHOUT_TRAY, faketime=False):
        return 0
    shots = os.environ.get("VANTREL_E2E_SHOTS")
    first_start(exe, shots)
    server, base = fixture.serve(Pages)
    work = tempfile.mkdtemp(prefix="vantrel-polish-")
    try:
        with desktop.Desktop() as d:
            with open(os.path.join(work, "vantrel.ini"), "w", newline="") as f:
                f.write("INTERVAL=1\r\nMONITOR=yes\r\nEVERYERROR=no\r\n")
            with open(os.path.join(work, "vantrel.dat"), "w", newline="") as f:
                f.write("ST=Shop\r\nURL=%s/ok\r\nTESTSTRING=Welcome\r\nACTION=Sound\r\nSTATUS=New\r\nSLOWMS=2000\r\n"
                        "ST=Status page\r\nURL=%s/down\r\nTESTSTRING=\r\nACTION=Sound\r\nSTATUS=New\r\nINSECURE=yes\r\n"
                        % (base, base))
            with open(os.path.join(work, "vantrel-extra.ini"), "w", newline="") as f:
                f.write("CHANNEL1=ntfy %s/shop-alerts\r\n" % base)
            env = dict(d.env, TMPDIR=work)
            # Time runs faster where libfaketime is installed: a minute's
            # interval passes in a fraction of a second, so the history
            # has a few hours of checks by the time the chart is shown.
            if fasttime.LIBRARY:
                env = fasttime.environment(env, 120)
            proc = subprocess.Popen([exe], cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                check(desktop.wait_for(lambda: desktop.started(work), 20), "no start")
                time.sleep(0.5)
                subprocess.run([exe], cwd=work, env=env, timeout=20, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)  # a second start shows the window
                wid = desktop.wait_for(lambda: d.window_of(proc.pid, "Vantrel: vantrel.dat"), 10)
                if not check(wid and desktop.wait_for(lambda: d.mapped(wid), 10), "the window is not shown"):
                    return report()
                d.run(["xdotool", "windowsize", "--sync", wid, "900", "640"])
                d.run(["xdotool", "windowactivate", "--sync", wid])
                # A few passes, so the chart has a short history to show.
                time.sleep(8)
                # The first row of the list: below the entry boxes and the list's header.
                d.run(["xdotool", "mousemove", "--window", wid, "60", "215", "click", "1"])
                time.sleep(1.5)
                if shots:
                    d.run(["import", "-window", wid, os.path.join(shots, "window-history.png")], timeout=20)
                d.run(["xdotool", "key", "--window", wid, "alt+v"])
                dialog = desktop.wait_for(lambda: d.window_of(proc.pid, "Advanced Options"), 10)
                check(dialog, "Alt+V opened no Advanced Options dialog")
                time.sleep(1)
                if shots:
                    d.screenshot(os.path.join(shots, "window-advanced.png"))
                    d.run(["import", "-window", dialog, os.path.join(shots, "site-options.png")], timeout=20)
                if dialog:
                    # Typed into the active dialog, as a user types it.
                    d.run(["xdotool", "windowactivate", "--sync", dialog])
                    d.run(["xdotool", "key", "Escape"])
                    check(desktop.wait_for(lambda: not d.mapped(dialog), 10), "Esc left the dialog open")
                send_test(d, proc, wid, shots)
            finally:
                stop(proc)
    finally:
        server.shutdown()
        subprocess.run(["rm", "-rf", work])
    return report()


if __name__ == "__main__":
    sys.exit(main())
