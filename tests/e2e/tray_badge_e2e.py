#!/usr/bin/env python3
"""The tray tells what is down, on both kinds of tray, through the real
program with its clock sped up and three sites that fail on a loopback
server. On an XEmbed tray (trayer) made 16, 22, 24 and 32 pixels high the
icon carries the red count once the first pass is done, and a right click
opens the menu with the failing sites at its top. As a D-Bus tray host (a
StatusNotifierWatcher of the test's own) the item's pixmaps carry the count
at every size; its exported menu lists the failing sites, "Check all now"
and "Snooze alerts" before the three entries of old; choosing a site shows
the window, "Check all now" checks every site at once, a snooze writes
SNOOZEALL. With --shots DIR the pictures are kept there."""
import os
import shutil
import subprocess
import sys
import tempfile

import desktop
import fasttime
import fixture
import tray_sni_e2e
import tray_xembed_e2e

SPEED = 60  # the 5-minute interval passes in 5 s
SIZES = (16, 22, 24, 32)
TITLE = "Vantrel: vantrel.dat"


class Closed(fixture.Page):
    """Every page lacks the sites' test string; the requests are counted."""
    requests = []

    def do_GET(self):
        Closed.requests.append(self.path)
        self.send_page(b"<html>closed</html>")


def write_files(work, base):
    fixture.write_folder(work, b"CREATOR=Vantrel 1.0\r\nMONITOR=yes\r\nINTERVAL=5\r\n",
                         [fixture.site(name, "%s/%s" % (base, name.lower())) for name in ("Wiki", "Blog", "Shop")])


def red_pixels(png):
    """How many clearly red pixels the picture has (the badge's)."""
    text = subprocess.run(["convert", png, "-depth", "8", "txt:-"], capture_output=True, text=True).stdout
    count = 0
    for line in text.splitlines()[1:]:
        try:
            rgb = line.split("(", 1)[1].split(")", 1)[0].split(",")
            r, g, b = (float(v) for v in rgb[:3])
        except (IndexError, ValueError):
            continue
        count += 1 if r > 170 and g < 90 and b < 90 else 0
    return count


def geometry(d, wid):
    """x, y, width, height of a window on the screen."""
    pos, size = None, None
    for line in d.run(["xdotool", "getwindowgeometry", wid]).splitlines():
        if "Position:" in line:
            pos = [int(v) for v in line.split(":")[1].split("(")[0].strip().split(",")]
        if "Geometry:" in line:
            size = [int(v) for v in line.split(":")[1].strip().split("x")]
    return (pos[0], pos[1], size[0], size[1]) if pos and size else None


def xembed(exe, work, size, shots, env_extra):
    failures = []
    with desktop.Desktop(tray=True, tray_height=size) as d:
        proc = d.start(exe, work, SPEED, output=False, **env_extra)
        try:
            window = desktop.wait_for(lambda: d.window_of(proc.pid, TITLE), 20)
            icon = window and desktop.wait_for(lambda: tray_xembed_e2e.tray_icon(d, proc, window), 20)
            if not icon:
                return ["%d px: no tray icon in trayer" % size]
            shot = os.path.join(work, "root.png")
            crop = os.path.join(work, "icon-%d.png" % size)

            def badge_shown():
                x, y, w, h = geometry(d, icon)
                d.screenshot(shot)
                subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", crop])
                return red_pixels(crop) >= 4
            if not desktop.wait_for(badge_shown, 30, step=0.5):
                return ["%d px: no count on the tray icon after a pass" % size]
            x, y, w, h = geometry(d, icon)
            if shots:
                # The tray around the icon, eight times larger to look at.
                subprocess.run(["convert", shot, "-crop", "%dx%d+%d+%d" % (w + 16, h + 8, x - 8, y - 4), "+repage",
                                "-filter", "point", "-resize", "800%",
                                os.path.join(shots, "tray-badge-xembed-%d.png" % size)])
            if size == SIZES[-1]:
                d.run(["xdotool", "mousemove", "--window", icon, str(w // 2), str(h // 2), "click", "3"])
                desktop.wait_for(lambda: False, 1.0)
                d.screenshot(shot)
                menu = os.path.join(work, "menu.png")
                subprocess.run(["convert", shot, "-crop", "420x260+604+0", "+repage", menu])
                if shots:
                    shutil.copy(menu, os.path.join(shots, "tray-menu-xembed.png"))
                # The menu is the picture's largest light area, left of the tray.
                if subprocess.run(["convert", menu, "-crop", "200x60+120+20", "-colorspace", "gray", "-format",
                                   "%[fx:mean]", "info:"], capture_output=True, text=True).stdout < "0.5":
                    failures.append("no menu under the cursor after a right click")
        finally:
            fasttime.terminate(proc, failures)
    return failures


def pixmaps(value):
    """The item's IconPixmap as (width, height, RGBA bytes) each."""
    out = []
    for w, h, data in value:
        argb = bytes(data)
        rgba = bytearray(len(argb))
        rgba[0::4], rgba[1::4], rgba[2::4], rgba[3::4] = argb[1::4], argb[2::4], argb[3::4], argb[0::4]
        out.append((int(w), int(h), bytes(rgba)))
    return out


def sni(exe, work, shots, env_extra):
    import dbus
    failures = []
    with desktop.Desktop(tray=False) as d:
        items, keep = tray_sni_e2e.start_watcher(d.env["DBUS_SESSION_BUS_ADDRESS"])
        # A notification service, so that no notification falls back to the
        # tray's own message (which takes the item's tooltip for a while).
        d.start_notifications(os.path.join(work, "notifications.jsonl"), 120)
        proc = d.start(exe, work, SPEED, output=False, **env_extra)
        try:
            if not desktop.wait_for(lambda: items, 20):
                return ["the program registered no StatusNotifierItem"]
            bus = dbus.bus.BusConnection(d.env["DBUS_SESSION_BUS_ADDRESS"])
            item = bus.get_object(items[0], "/StatusNotifierItem")
            props = dbus.Interface(item, dbus.PROPERTIES_IFACE)
            menu = dbus.Interface(bus.get_object(items[0], props.Get(tray_sni_e2e.ITEM, "Menu")),
                                  tray_sni_e2e.MENU)

            def labels():
                layout = menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"))
                return tray_sni_e2e.menu_labels(layout)
            if not desktop.wait_for(lambda: len(labels()) >= 8, 30, step=0.5):
                return ["the exported menu never listed the failing sites: %r" % labels()]
            names = [label for _, label in labels()]
            if [n.split(":")[0] for n in names[:3]] != ["Shop", "Blog", "Wiki"] or \
                    names[3:] != ["Check all now", "Snooze alerts", "_Help", "_Quit", "_Preferences"]:
                failures.append("exported menu %r" % names)
            tip = props.Get(tray_sni_e2e.ITEM, "ToolTip")
            # (icon name, pixmaps, title, text): the tip is the title, as Qt sets it.
            tip = " ".join(str(part) for part in (tip[2], tip[3]))
            if "Shop: text \"Welcome\" not found, since" not in tip:
                failures.append("tooltip %r" % tip)
            shown = pixmaps(props.Get(tray_sni_e2e.ITEM, "IconPixmap"))
            sizes = sorted(w for w, _, _ in shown)
            for size in SIZES:
                if size not in sizes:
                    failures.append("no %d px pixmap among %r" % (size, sizes))
            for w, h, rgba in shown:
                png = os.path.join(work, "sni-%d.png" % w)
                subprocess.run(["convert", "-size", "%dx%d" % (w, h), "-depth", "8", "rgba:-", png], input=rgba)
                if red_pixels(png) < 4:
                    failures.append("the %d px pixmap has no count" % w)
                if shots and w in SIZES:
                    subprocess.run(["convert", png, "-background", "#dcdcdc", "-flatten", "-filter", "point",
                                    "-resize", "800%", os.path.join(shots, "tray-badge-sni-%d.png" % w)])

            # Choosing a site shows the window; Check all now checks all three.
            window = d.window_of(proc.pid, TITLE)
            menu.Event(dbus.Int32(labels()[0][0]), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0))
            if not window or not desktop.wait_for(lambda: d.mapped(window), 5):
                failures.append("choosing a failing site did not show the window")
            before = len(Closed.requests)
            menu.Event(dbus.Int32(labels()[3][0]), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0))
            if not desktop.wait_for(lambda: len(Closed.requests) >= before + 3, 6):
                failures.append("Check all now checked %d sites" % (len(Closed.requests) - before))
            # Snooze alerts > Until tomorrow 08:00 writes SNOOZEALL.
            layout = menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s"))
            snooze = [c for c in layout[1][2] if str(c[1].get("label", "")) == "Snooze alerts"]
            choices = [(int(c[0]), str(c[1].get("label", ""))) for c in snooze[0][2]] if snooze else []
            if [label for _, label in choices] != ["For 1 hour", "For 4 hours", "Until tomorrow 08:00"]:
                return failures + ["snooze choices %r" % choices]
            menu.Event(dbus.Int32(choices[2][0]), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0))
            extra = os.path.join(work, "vantrel-extra.ini")
            if not desktop.wait_for(lambda: os.path.exists(extra) and "08:00:00" in open(extra).read(), 5):
                failures.append("the snooze wrote no SNOOZEALL until 08:00")
        finally:
            fasttime.terminate(proc, failures)
            keep[0].quit()
            keep[1].join(5)
    return failures


def main():
    exe = os.path.abspath(sys.argv[1])
    shots = sys.argv[sys.argv.index("--shots") + 1] if "--shots" in sys.argv else None
    if fasttime.skipped(desktop.TOOLS + ("convert", "import"), ("dbus",)):
        return 0
    server, base = fixture.serve(Closed)
    failures = []
    try:
        for size in SIZES:
            work = tempfile.mkdtemp(prefix="vantrel-badge-")
            try:
                write_files(work, base)
                failures += xembed(exe, work, size, shots, {})
            finally:
                shutil.rmtree(work, ignore_errors=True)
        work = tempfile.mkdtemp(prefix="vantrel-badge-")
        try:
            write_files(work, base)
            failures += sni(exe, work, shots, {})
        finally:
            shutil.rmtree(work, ignore_errors=True)
    finally:
        server.shutdown()
    return fasttime.verdict(failures, "")


if __name__ == "__main__":
    sys.exit(main())
