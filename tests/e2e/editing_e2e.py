#!/usr/bin/env python3
"""A check pass never takes what the user is editing: the real program runs on
a desktop of the test's own (Xvfb, openbox, no tray, so the window keeps its
task-bar button), with two sites on a loopback server and time running 60
times faster, so a pass comes every five seconds. The test types with xdotool
as a user does.

1. The user clicks the top row "Alpha" and a pass comes; the boxes now show
   the last row checked, "Bravo". Update must not write Bravo over Alpha.
2. The user presses Clear and types a new site; a pass comes; Add must add
   what was typed, not the last row checked.

The saved list at the end tells: the typed site on top, then Alpha and Bravo
as they were. With --screenshot PATH the window after the second pass is
saved there.

3. On a list of 800 sites whose pages each take a while, the user scrolls
   the list during the second pass, with its scroll bar and the wheel: the
   rows the list shows change before the pass ends (they stay put when no
   one scrolls)."""
import os
import re
import shutil
import sys
import tempfile
import time

import desktop
import fasttime
import fixture

TITLE = "Vantrel: vantrel.dat"
PASS_LIMIT = 30  # seconds of real time a pass may take to come


def main():
    exe = os.path.abspath(sys.argv[1])
    shot = sys.argv[sys.argv.index("--screenshot") + 1] if "--screenshot" in sys.argv else None
    if fasttime.skipped(desktop.TOOLS):
        return 0
    httpd, web = fixture.serve(fixture.WelcomePage)
    work = tempfile.mkdtemp(prefix="vantrel-editing-")
    try:
        failures, details = run(exe, work, web, shot)
    finally:
        httpd.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    if not failures:
        failures, details = scroll_during_pass(exe)
    return fasttime.verdict(failures, details)


class SlowPage(fixture.Page):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        time.sleep(0.1)
        try:
            self.send_page(b"<html>Welcome</html>")
        except OSError:
            pass  # the program ended mid-pass


SCROLL_SITES = 800


def scroll_during_pass(exe):
    httpd, web = fixture.serve(SlowPage)
    work = tempfile.mkdtemp(prefix="vantrel-scroll-")
    failures = []
    try:
        with open(os.path.join(work, "vantrel.ini"), "wb") as f:
            f.write(b"CREATOR=Vantrel 1.0\r\nLOGFILE=vantrel.log\r\nINTERVAL=1\r\nMONITOR=yes\r\n\r\n")
        records = ["ST=Site %d\r\nURL=%s/%d\r\nTESTSTRING=Welcome\r\nACTION=Sound\r\nSTATUS=OK\r\n" % (i, web, i)
                   for i in reversed(range(SCROLL_SITES))]
        with open(os.path.join(work, "vantrel.dat"), "wb") as f:
            f.write(("CREATOR=Vantrel 1.0\r\n" + "".join(records)).encode())
        with desktop.Desktop(tray=False) as d:
            proc = d.start(exe, work, 60, output=False)
            try:
                failures = scroll(d, proc, work)
            finally:
                proc.kill()
                proc.wait()
    finally:
        httpd.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    return failures, ""


def scroll(d, proc, work):
    window = desktop.wait_for(lambda: d.window_of(proc.pid, TITLE), 20)
    if not window or not desktop.wait_for(lambda: desktop.started(work), 20):
        return ["no window, or no start"]
    desktop.wait_for(lambda: "Iconic" in d.xprop("-id", window, "WM_STATE"), 5)
    d.run(["xdotool", "windowactivate", "--sync", window])
    if not desktop.wait_for(lambda: d.mapped(window), 10):
        return ["the window did not come up"]
    if not desktop.wait_for(lambda: log_records(work) > SCROLL_SITES, 2 * PASS_LIMIT):
        return ["no second pass began"]

    def rows():
        # The site names the list shows, as pixels: its first column, below its header.
        path = os.path.join(work, "rows.ppm")
        d.run(["import", "-window", window, "-crop", "90x60+12+210", "ppm:" + path], timeout=20)
        with open(path, "rb") as f:
            return f.read()

    def during(what):
        done = log_records(work)
        return [] if done < 2 * SCROLL_SITES else ["the pass ended before %s was seen" % what]

    failures = []
    still = rows()
    time.sleep(0.5)
    if rows() != still:
        failures.append("the rows shown changed while no one scrolled")
    # A click in the scroll bar's groove pages the list toward it (whether
    # the list stands at its top or, after the last pass, at its bottom);
    # then the wheel scrolls it down.
    x = str(window_width(d, window) - 96)
    d.run(["xdotool", "mousemove", "--window", window, x, "250", "click", "1"])
    time.sleep(0.5)
    paged = rows()
    if paged == still:
        failures.append("a click in the scroll bar did not scroll the list during the pass")
    d.run(["xdotool", "mousemove", "--window", window, "60", "240", "click", "--repeat", "5", "5"])
    time.sleep(0.5)
    if rows() == paged:
        failures.append("the wheel did not scroll the list during the pass")
    failures += during("the list scrolled")
    if os.environ.get("VANTREL_E2E_SHOTS"):
        d.screenshot(os.path.join(os.environ["VANTREL_E2E_SHOTS"], "scrolled-during-pass.png"))
    return failures


def write_files(work, web):
    fixture.write_folder(work, b"CREATOR=Vantrel 1.0\r\nLOGFILE=vantrel.log\r\nINTERVAL=5\r\nTOOLTIPS=yes\r\n"
                         b"MONITOR=yes\r\nNOTIFY=On Change\r\nEVERYERROR=no\r\n\r\n",
                         [fixture.site(title, "%s/%s" % (web, title.lower())) for title in ("Bravo", "Alpha")],
                         "\r\n")  # bottom row first


def log_records(work):
    try:
        with open(os.path.join(work, "vantrel.log"), "rb") as f:
            return f.read().count(b"\r\n")
    except OSError:
        return 0


def wait_for_pass(work):
    """Waits until the next whole pass (both sites) is in the log."""
    goal = (log_records(work) // 2 + 1) * 2
    done = desktop.wait_for(lambda: log_records(work) >= goal, PASS_LIMIT)
    time.sleep(0.5)  # the pass shows its last row after the log line
    return done


def run(exe, work, web, shot):
    write_files(work, web)
    failures = []
    out = ""
    with desktop.Desktop(tray=False) as d:
        proc = d.start(exe, work, 60)
        try:
            failures = drive(d, proc, work, web, shot)
            # One that does not end may have a box left open.
            out = fasttime.terminate(proc, failures, 20)
        finally:
            fasttime.kill(proc)
    if not failures:
        failures = check_list(work, web)
    return failures, "program output:\n" + out


def drive(d, proc, work, web, shot):
    window = desktop.wait_for(lambda: d.window_of(proc.pid, TITLE), 20)
    if not window:
        return ["no window named %r" % TITLE]
    if not desktop.wait_for(lambda: desktop.started(work), 20):
        return ["start-up did not end"]
    # Without a tray the window starts minimised: the user brings it up.
    desktop.wait_for(lambda: "Iconic" in d.xprop("-id", window, "WM_STATE"), 5)
    d.run(["xdotool", "windowactivate", "--sync", window])
    if not desktop.wait_for(lambda: d.mapped(window), 10):
        return ["the window did not come up: %s" % d.xprop("-id", window, "WM_STATE")]
    if not wait_for_pass(work):
        return ["no first pass"]

    # 1. Alpha marked, a pass, then Update.
    click_top_row(d, window)
    if not wait_for_pass(work):
        return ["no pass after Alpha was marked"]
    button(d, window, "Update")

    # 2. Clear, type a new site, a pass, then Add.
    button(d, window, "Clear")
    typed = [("alt+n", "Charlie"), ("alt+u", web + "/charlie"), ("alt+t", "Welcome"), ("alt+a", "Sound")]
    for key, text in typed:
        d.run(["xdotool", "key", "--window", window, key])
        d.run(["xdotool", "type", "--delay", "20", text])
    if not wait_for_pass(work):
        return ["no pass after the new site was typed"]
    if shot:
        d.screenshot(shot)
    button(d, window, "Add")
    time.sleep(1)
    return []


# The buttons' tops below the menu bar (about 22 px); the column keeps 85 px
# from the right edge and its buttons are 75 x 23 px.
BUTTON_TOPS = {"Add": 51, "Update": 73, "Clear": 118}


def button(d, window, name):
    d.run(["xdotool", "windowactivate", "--sync", window])
    width = window_width(d, window)
    d.run(["xdotool", "mousemove", "--window", window, str(width - 85 + 37), str(22 + BUTTON_TOPS[name] + 11),
           "click", "1"])
    time.sleep(0.3)


def window_width(d, window):
    for line in d.run(["xdotool", "getwindowgeometry", window]).splitlines():
        if "Geometry:" in line:
            return int(line.split(":")[1].strip().split("x")[0])
    return 435


def click_top_row(d, window):
    # The list starts 161 px below the menu bar (about 22 px), 9 px in; the
    # first row follows its header, one text line high.
    d.run(["xdotool", "windowactivate", "--sync", window])
    d.run(["xdotool", "mousemove", "--window", window, "40", str(22 + 161 + 22), "click", "1"])
    time.sleep(0.3)


def check_list(work, web):
    with open(os.path.join(work, "vantrel.dat"), "rb") as f:
        dat = f.read().decode("latin-1")
    titles = re.findall(r"ST=(.*)\r\n", dat)[::-1]  # top row first
    urls = re.findall(r"^URL=(.*)\r$", dat, re.M)[::-1]
    failures = []
    if "Alpha" not in titles:
        failures.append("Update wrote the last checked row over the marked one: rows %r" % titles)
    if "Charlie" not in titles:
        failures.append("the typed site was lost to the pass: rows %r" % titles)
    expected = [("Charlie", web + "/charlie"), ("Alpha", web + "/alpha"), ("Bravo", web + "/bravo")]
    if not failures and list(zip(titles, urls)) != expected:
        failures.append("rows %r, urls %r" % (titles, urls))
    return failures


if __name__ == "__main__":
    sys.exit(main())
