#!/usr/bin/env python3
"""The tray leads back to the window on an XEmbed tray: the real program runs
on an X server of the test's own with a window manager (openbox) and a tray
(trayer). After a start with sites the window is hidden; the first double-click on the
tray icon shows it, and so does the first one after the user minimised it by
hand. A single click changes nothing. While the tray exists the window
carries the skip-taskbar state, so it has no task-bar button; on a desktop
without any tray it keeps its button, the one way back to it. With
--screenshot PATH the desktop with the restored window is saved there."""
import os
import shutil
import signal
import sys
import tempfile

import desktop
import fasttime

TITLE = "Vantrel: vantrel.dat"


def main():
    exe = os.path.abspath(sys.argv[1])
    shot = sys.argv[sys.argv.index("--screenshot") + 1] if "--screenshot" in sys.argv else None
    if fasttime.skipped(desktop.TOOLS, faketime=False):
        return 0
    work = tempfile.mkdtemp(prefix="vantrel-xembed-")
    failures = []
    try:
        # trayer now and then loses a docking request it gets while it sets
        # itself up; the icon then never appears, and the desktop is made anew.
        for attempt in range(2):
            failures = with_tray(exe, work, shot)
            if not failures or not failures[0].startswith("no tray icon in trayer") or attempt == 1:
                break
            print("trayer took no icon; a new desktop:", failures[0])
        if not failures:
            failures = without_tray(exe, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.verdict(failures, "")


def with_tray(exe, work, shot):
    failures = []
    with open(os.path.join(work, "vantrel.ini"), "wb") as f:
        f.write(b"CREATOR=Vantrel 1.0\r\nMONITOR=no\r\n")
    # A site: a start without one shows the window to a new user.
    with open(os.path.join(work, "vantrel.dat"), "wb") as f:
        f.write(b"ST=Local\r\nURL=http://127.0.0.1:9/\r\nACTION=Sound\r\nSTATUS=New\r\n")
    with desktop.Desktop(tray=True) as d:
        proc = d.start(exe, work)
        try:
            failures = check(d, proc, work, shot)
            out = fasttime.terminate(proc, failures, 20)
            if failures:
                failures.append("program output:\n" + out)
        finally:
            fasttime.kill(proc)
    return failures


def without_tray(exe, work):
    with desktop.Desktop(tray=False) as d:
        proc = d.start(exe, work, output=False)
        try:
            window = desktop.wait_for(lambda: d.window_of(proc.pid, TITLE), 20)
            if not window:
                return ["without a tray: no window named %r" % TITLE]
            # Minimised at start, not hidden, and with its task-bar button.
            if not desktop.wait_for(lambda: "Iconic" in d.xprop("-id", window, "WM_STATE"), 10):
                return ["without a tray the window is not minimised: %s" % d.xprop("-id", window, "WM_STATE")]
            if "_NET_WM_STATE_SKIP_TASKBAR" in d.net_wm_state(window):
                return ["without a tray the window has no task-bar button"]
            proc.send_signal(signal.SIGTERM)
            proc.wait(timeout=20)
            return [] if proc.returncode == 0 else ["without a tray: exit status %s" % proc.returncode]
        finally:
            fasttime.kill(proc)


def tray_icon(d, proc, window):
    """The tray icon's window: the program's other small top-level window."""
    for wid in d.run(["xdotool", "search", "--all", "--pid", str(proc.pid), "--classname", "vantrel"]).split():
        # Only once trayer has taken it in and shows it can it be clicked.
        if wid != window and is_small(d, wid) and "IsViewable" in d.run(["xwininfo", "-id", wid]):
            return wid
    return None


def is_small(d, wid):
    for line in d.run(["xdotool", "getwindowgeometry", wid]).splitlines():
        if "Geometry:" in line:
            w, h = line.split(":")[1].strip().split("x")
            return int(w) <= 64 and int(h) <= 64
    return False


def double_click(d, wid):
    d.run(["xdotool", "mousemove", "--window", wid, "6", "6", "click", "--repeat", "2", "--delay", "80", "1"])


def check(d, proc, work, shot):
    failures = []
    window = desktop.wait_for(lambda: d.window_of(proc.pid, TITLE), 20)
    if not window:
        return ["no window named %r" % TITLE]
    icon = desktop.wait_for(lambda: tray_icon(d, proc, window), 20)
    if not icon:
        seen = [(wid, d.run(["xwininfo", "-id", wid]).replace("\n", " ")[:200])
                for wid in d.run(["xdotool", "search", "--all", "--pid", str(proc.pid)]).split()]
        return ["no tray icon in trayer; windows of the program: %r" % seen]
    # Start-up ends with the window hidden.
    if not desktop.wait_for(lambda: desktop.started(work), 20):
        return ["start-up did not end"]
    if not desktop.wait_for(lambda: not d.mapped(window), 10):
        failures.append("the window is still shown after start")

    d.run(["xdotool", "mousemove", "--window", icon, "6", "6", "click", "1"])
    if desktop.wait_for(lambda: d.mapped(window), 1.5):
        failures.append("a single click showed the window")

    double_click(d, icon)
    if not desktop.wait_for(lambda: d.mapped(window), 5):
        failures.append("the first double-click did not show the window")
    elif "_NET_WM_STATE_SKIP_TASKBAR" not in d.net_wm_state(window):
        failures.append("the shown window has a task-bar button: %s" % d.net_wm_state(window).strip())
    elif "_NET_WM_STATE_HIDDEN" in d.net_wm_state(window):
        failures.append("the shown window is still minimised: %s" % d.net_wm_state(window).strip())
    if shot:
        desktop.wait_for(lambda: False, 0.5)
        d.screenshot(shot)

    # Minimised by hand: it hides, and the next double-click brings it back.
    desktop.wait_for(lambda: False, 1.5)
    d.run(["xdotool", "windowminimize", window])
    if not desktop.wait_for(lambda: not d.mapped(window) and "Iconic" not in d.xprop("-id", window, "WM_STATE"), 5):
        failures.append("minimising did not hide the window: %s" % d.xprop("-id", window, "WM_STATE").strip())
    double_click(d, icon)
    if not desktop.wait_for(lambda: d.mapped(window), 5):
        failures.append("the first double-click after a minimise did not show the window")
    elif "_NET_WM_STATE_SKIP_TASKBAR" not in d.net_wm_state(window):
        failures.append("after a minimise the window has a task-bar button")

    # A minimise the user makes at once after a restore is the user's too: the
    # window goes to the tray and stays there.
    desktop.wait_for(lambda: "IsViewable" in d.run(["xwininfo", "-id", window]), 5)
    desktop.wait_for(lambda: False, 0.3)
    d.run(["xdotool", "windowminimize", window])
    if not desktop.wait_for(lambda: not d.mapped(window), 5):
        failures.append("a minimise just after a restore did not hide the window")
    elif desktop.wait_for(lambda: d.mapped(window), 1.5):
        failures.append("a minimise just after a restore was undone")
    return failures


if __name__ == "__main__":
    sys.exit(main())
