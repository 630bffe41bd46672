#!/usr/bin/env python3
"""A stand-in for the desktop's notification service on a private bus.

Usage: fake_notifications.py BUS_ADDRESS RECORD_FILE [SECONDS]

Owns org.freedesktop.Notifications on the bus at BUS_ADDRESS, writes one JSON
line per Notify call to RECORD_FILE (after a first line "ready"), and ends by
itself after SECONDS (120 unless given) at the latest.

It offers the Inhibited property (do-not-disturb), and a control interface
for the test: Invoke(id, action) emits ActionInvoked as a click on the
action's button would, SetInhibited(on) switches do-not-disturb and emits
PropertiesChanged.
"""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IFACE = "org.freedesktop.Notifications"
CONTROL = "org.vantrel.TestControl"


def image_shape(image):
    # (iiibiiay): width, height, row stride, alpha, bits per sample, channels, bytes
    width, height, stride, alpha, bits, channels, data = image
    types = "".join("i" if isinstance(v, dbus.Int32) else "b" if isinstance(v, dbus.Boolean) else "?"
                    for v in (width, height, stride, alpha, bits, channels))
    return [int(width), int(height), int(stride), bool(alpha), int(bits), int(channels), len(data),
            types + "a" + str(getattr(data, "signature", ""))]


class Notifications(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.record = record
        self.next_id = 1
        self.inhibited = False

    @dbus.service.method(IFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        # A notification that replaces one keeps its id, as the services do.
        if replaces_id:
            shown_id = int(replaces_id)
        else:
            shown_id = self.next_id
            self.next_id += 1
        self.record.write(json.dumps({
            "id": shown_id,
            "app_name": str(app_name), "replaces_id": int(replaces_id), "app_icon": str(app_icon),
            "summary": str(summary), "body": str(body), "actions": [str(a) for a in actions],
            "hints": {str(k): (int(v) if isinstance(v, (dbus.Byte, dbus.Int32, dbus.UInt32))
                               else image_shape(v) if k == "image-data" else str(v))
                      for k, v in hints.items()},
            "timeout": int(timeout)}) + "\n")
        self.record.flush()
        return shown_id

    @dbus.service.signal(IFACE, signature="us")
    def ActionInvoked(self, id, action_key):
        pass

    @dbus.service.signal(IFACE, signature="uu")
    def NotificationClosed(self, id, reason):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == IFACE and name == "Inhibited":
            return dbus.Boolean(self.inhibited)
        raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.UnknownProperty")

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"Inhibited": dbus.Boolean(self.inhibited)} if interface == IFACE else {}

    @dbus.service.signal(dbus.PROPERTIES_IFACE, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method(CONTROL, in_signature="us")
    def Invoke(self, id, action_key):
        # Left open, as a resident notification stays after a click.
        self.ActionInvoked(id, action_key)

    @dbus.service.method(CONTROL, in_signature="b")
    def SetInhibited(self, on):
        self.inhibited = bool(on)
        self.PropertiesChanged(IFACE, {"Inhibited": dbus.Boolean(self.inhibited)}, dbus.Array([], signature="s"))

    @dbus.service.method(IFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body", "actions"]

    @dbus.service.method(IFACE, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("fake", "vantrel-tests", "1", "1.2")


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    record = open(sys.argv[2], "a", encoding="utf-8")
    service = Notifications(bus, record)
    name = dbus.service.BusName(IFACE, bus)
    record.write("ready\n")
    record.flush()
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(int(sys.argv[3]) if len(sys.argv) > 3 else 120, loop.quit)
    loop.run()
    del service, name


if __name__ == "__main__":
    main()
