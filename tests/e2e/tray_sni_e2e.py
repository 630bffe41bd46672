#!/usr/bin/env python3
"""The tray leads back to the window on a D-Bus StatusNotifierItem tray: the
test registers a StatusNotifierWatcher of its own (with a host) on a private
session bus, runs the real program on an X server of its own with a window
manager, and then acts as the tray host would: the item is titled "Vantrel",
Activate shows the hidden window (which has no task-bar button), the menu is
exported with the three entries after "Check all now" and "Snooze alerts",
and its Quit ends the program the normal way
(the list saved, the item gone, exit status 0). With --screenshot PATH the
desktop after Activate is saved there."""
import os
import shutil
import subprocess
import sys
import tempfile
import threading

import desktop
import fasttime

TITLE = "Vantrel: vantrel.dat"
WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
INTROSPECTION = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
 <interface name="org.freedesktop.DBus.Introspectable">
  <method name="Introspect"><arg type="s" direction="out"/></method>
 </interface>
</node>"""
SITE = ("CREATOR=Vantrel 1.0\r\nST=Kept\r\nURL=http://127.0.0.1:1/\r\nTESTSTRING=\r\nCREATE=01 Dec 2026\r\n"
        "CHECK=\r\nURLEMAIL=\r\nACTION=Sound\r\nSTATUS=New\r\n")


def start_watcher(address):
    """Serves org.kde.StatusNotifierWatcher on the bus at `address` from a thread
    of its own; returns the list that collects the registered items."""
    import dbus
    import dbus.mainloop.glib
    import dbus.service
    from gi.repository import GLib

    dbus.mainloop.glib.threads_init()
    loop_kind = dbus.mainloop.glib.DBusGMainLoop()
    bus = dbus.bus.BusConnection(address, mainloop=loop_kind)
    items = []

    class Watcher(dbus.service.Object):
        @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
        def RegisterStatusNotifierItem(self, service, sender=None):
            items.append(service if service.startswith(":") or "." in service else sender)
            self.StatusNotifierItemRegistered(service)

        @dbus.service.method(WATCHER, in_signature="s")
        def RegisterStatusNotifierHost(self, service):
            pass

        @dbus.service.signal(WATCHER, signature="s")
        def StatusNotifierItemRegistered(self, service):
            pass

        # Qt reads the properties through an interface built from this.
        @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
        def Introspect(self):
            return INTROSPECTION

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
        def Get(self, interface, name):
            return self.GetAll(interface)[name]

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
        def GetAll(self, interface):
            return {"RegisteredStatusNotifierItems": dbus.Array(items, signature="s"),
                    "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0)}

    bus.request_name(WATCHER)
    watcher = Watcher(bus, "/StatusNotifierWatcher")
    loop = GLib.MainLoop()
    thread = threading.Thread(target=loop.run, daemon=True)
    thread.start()
    return items, (loop, thread, watcher, bus)


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped(desktop.TOOLS, ("dbus", "gi.repository.GLib"), faketime=False):
        return 0
    work = tempfile.mkdtemp(prefix="vantrel-sni-")
    failures = []
    try:
        with open(os.path.join(work, "vantrel.ini"), "wb") as f:
            f.write(b"CREATOR=Vantrel 1.0\r\nMONITOR=no\r\n")
        with open(os.path.join(work, "vantrel.dat"), "w", newline="") as f:
            f.write(SITE)
        with desktop.Desktop(tray=False) as d:
            items, keep = start_watcher(d.env["DBUS_SESSION_BUS_ADDRESS"])
            proc = d.start(exe, work)
            try:
                shot = sys.argv[sys.argv.index("--screenshot") + 1] if "--screenshot" in sys.argv else None
                failures = check(d, proc, items, work, shot)
                out = fasttime.kill(proc)
                if failures:
                    failures.append("program output:\n" + out)
            finally:
                fasttime.kill(proc)
                keep[0].quit()
                keep[1].join(5)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.verdict(failures, "")


def menu_labels(layout):
    """The labels of the entries below the root of a dbusmenu layout."""
    labels = []
    for child in layout[1][2]:
        props = child[1]
        if props.get("type", "standard") != "separator" and props.get("visible", True):
            labels.append((int(child[0]), str(props.get("label", ""))))
    return labels


def check(d, proc, items, work, shot):
    import dbus
    failures = []
    window = desktop.wait_for(lambda: d.window_of(proc.pid, TITLE), 20)
    if not window:
        return ["no window named %r" % TITLE]
    if not desktop.wait_for(lambda: items, 20):
        return ["the program registered no StatusNotifierItem"]
    if not desktop.wait_for(lambda: desktop.started(work), 20):
        return ["start-up did not end"]
    if not desktop.wait_for(lambda: not d.mapped(window), 10):
        failures.append("the window is still shown after start")

    bus = dbus.bus.BusConnection(d.env["DBUS_SESSION_BUS_ADDRESS"])
    item = bus.get_object(items[0], "/StatusNotifierItem")
    props = dbus.Interface(item, dbus.PROPERTIES_IFACE)
    title = str(props.Get(ITEM, "Title"))
    if title != "Vantrel":
        failures.append("item title %r" % title)

    dbus.Interface(item, ITEM).Activate(dbus.Int32(10), dbus.Int32(10))
    if not desktop.wait_for(lambda: d.mapped(window), 5):
        failures.append("Activate did not show the window")
    elif "_NET_WM_STATE_SKIP_TASKBAR" not in d.net_wm_state(window):
        failures.append("the shown window has a task-bar button: %s" % d.net_wm_state(window).strip())
    if shot:
        desktop.wait_for(lambda: False, 0.5)
        d.screenshot(shot)

    menu_path = props.Get(ITEM, "Menu")
    menu = dbus.Interface(bus.get_object(items[0], menu_path), MENU)
    labels = menu_labels(menu.GetLayout(dbus.Int32(0), dbus.Int32(-1), dbus.Array([], signature="s")))
    # What acts on all sites comes first; the three entries of old keep their order.
    if [label for _, label in labels] != ["Check all now", "Snooze alerts", "_Help", "_Quit", "_Preferences"]:
        failures.append("exported menu %r" % labels)
        return failures

    # The host's Quit: the program ends the normal way.
    os.unlink(os.path.join(work, "vantrel.dat"))
    quit_id = labels[3][0]
    menu.Event(dbus.Int32(quit_id), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0))
    try:
        proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        return failures + ["the menu's Quit did not end the program"]
    if proc.returncode != 0:
        failures.append("exit status %d after the menu's Quit" % proc.returncode)
    dat = os.path.join(work, "vantrel.dat")
    saved = open(dat, newline="").read() if os.path.exists(dat) else None
    if saved != SITE:
        failures.append("after the menu's Quit the list saved is %r" % saved)
    return failures


if __name__ == "__main__":
    sys.exit(main())
