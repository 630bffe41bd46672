#!/usr/bin/env python3
"""A stand-in for the desktop's notification service on a private bus.

Usage: fake_notifications.py BUS_ADDRESS RECORD_FILE [SECONDS]

Owns org.freedesktop.Notifications on the bus at BUS_ADDRESS, writes one JSON
line per Notify call to RECORD_FILE (after a first line "ready"), and ends by
itself after SECONDS (120 unless given) at the latest.
"""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

IFACE = "org.freedesktop.Notifications"


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

    @dbus.service.method(IFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app_name, replaces_id, app_icon, summary, body, actions, hints, timeout):
        self.record.write(json.dumps({
            "app_name": str(app_name), "replaces_id": int(replaces_id), "app_icon": str(app_icon),
            "summary": str(summary), "body": str(body), "actions": [str(a) for a in actions],
            "hints": {str(k): (int(v) if isinstance(v, (dbus.Byte, dbus.Int32, dbus.UInt32))
                               else image_shape(v) if k == "image-data" else str(v))
                      for k, v in hints.items()},
            "timeout": int(timeout)}) + "\n")
        self.record.flush()
        self.next_id += 1
        return self.next_id - 1

    @dbus.service.method(IFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

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
