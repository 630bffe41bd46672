#!/usr/bin/env python3
"""A stand-in for the desktop keyring (a Secret Service) on a private bus that
asks the user first, as a fresh keyring does: there is no default collection,
and creating it opens a prompt that is answered only after PROMPT_SECONDS.

Usage: fake_secret_service.py BUS_ADDRESS RECORD_FILE PROMPT_SECONDS [dismiss]

Writes "ready" as its first line to RECORD_FILE, then one line per event:
"prompt" when the prompt opens, "completed" or "dismissed" when it is
answered, and "stored <key> <secret>" for each item stored. Ends by itself
after 120 seconds at the latest.
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SERVICE = "org.freedesktop.Secret.Service"
COLLECTION = "org.freedesktop.Secret.Collection"
PROMPT = "org.freedesktop.Secret.Prompt"
PROPS = "org.freedesktop.DBus.Properties"
BASE = "/org/freedesktop/secrets"


def note(record, line):
    record.write(line + "\n")
    record.flush()


class Prompt(dbus.service.Object):
    def __init__(self, bus, path, record, seconds, dismiss, result):
        super().__init__(bus, path)
        self.record, self.seconds, self.dismiss, self.result = record, seconds, dismiss, result

    @dbus.service.method(PROMPT, in_signature="s", out_signature="")
    def Prompt(self, window_id):
        note(self.record, "prompt")
        GLib.timeout_add(int(self.seconds * 1000), self.answer)

    @dbus.service.method(PROMPT, in_signature="", out_signature="")
    def Dismiss(self):
        self.Completed(True, dbus.String("", variant_level=1))

    def answer(self):
        note(self.record, "dismissed" if self.dismiss else "completed")
        self.Completed(self.dismiss, dbus.ObjectPath(self.result, variant_level=1))
        return False

    @dbus.service.signal(PROMPT, signature="bv")
    def Completed(self, dismissed, result):
        pass


class Collection(dbus.service.Object):
    def __init__(self, bus, path, record):
        super().__init__(bus, path)
        self.path, self.record = path, record
        self.items = 0

    @dbus.service.method(COLLECTION, in_signature="a{sv}(oayays)b", out_signature="oo")
    def CreateItem(self, properties, secret, replace):
        attributes = properties.get("org.freedesktop.Secret.Item.Attributes", {})
        key = str(attributes.get("user", ""))
        note(self.record, "stored %s %s" % (key, bytes(secret[2]).decode("utf-8")))
        self.items += 1
        return dbus.ObjectPath("%s/%d" % (self.path, self.items)), dbus.ObjectPath("/")

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface).get(name, "")

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"Label": "Default keyring", "Locked": False,
                "Items": dbus.Array([], signature="o")}


class Service(dbus.service.Object):
    def __init__(self, bus, record, seconds, dismiss):
        super().__init__(bus, BASE)
        self.bus, self.record, self.seconds, self.dismiss = bus, record, seconds, dismiss
        self.collection = None
        self.objects = []

    @dbus.service.method(SERVICE, in_signature="sv", out_signature="vo")
    def OpenSession(self, algorithm, value):
        if algorithm != "plain":
            raise dbus.exceptions.DBusException("only plain", name="org.freedesktop.DBus.Error.NotSupported")
        return dbus.String("", variant_level=1), dbus.ObjectPath(BASE + "/session/1")

    @dbus.service.method(SERVICE, in_signature="s", out_signature="o")
    def ReadAlias(self, name):
        return dbus.ObjectPath(self.collection.path if self.collection else "/")

    @dbus.service.method(SERVICE, in_signature="so", out_signature="")
    def SetAlias(self, name, collection):
        pass

    @dbus.service.method(SERVICE, in_signature="a{sv}s", out_signature="oo")
    def CreateCollection(self, properties, alias):
        path = BASE + "/collection/login"
        if not self.collection:
            # The default collection is reached by its alias path as well.
            self.collection = Collection(self.bus, path, self.record)
            self.objects.append(Collection(self.bus, BASE + "/aliases/default", self.record))
        prompt = Prompt(self.bus, BASE + "/prompt/%d" % (len(self.objects) + 1), self.record, self.seconds,
                        self.dismiss, path)
        self.objects.append(prompt)
        return dbus.ObjectPath("/"), dbus.ObjectPath(prompt.__dbus_object_path__)

    @dbus.service.method(SERVICE, in_signature="a{ss}", out_signature="aoao")
    def SearchItems(self, attributes):
        return dbus.Array([], signature="o"), dbus.Array([], signature="o")

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface).get(name, "")

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        paths = [self.collection.path] if self.collection else []
        return {"Collections": dbus.Array(paths, signature="o")}


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    record = open(sys.argv[2], "a", encoding="utf-8")
    service = Service(bus, record, float(sys.argv[3]), len(sys.argv) > 4 and sys.argv[4] == "dismiss")
    name = dbus.service.BusName("org.freedesktop.secrets", bus)
    note(record, "ready")
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(120, loop.quit)
    loop.run()
    del service, name


if __name__ == "__main__":
    main()
