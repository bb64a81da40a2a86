#!/usr/bin/python3
"""The Bluetooth lab's pairing agent: registers an org.bluez.Agent1 as the
default agent with a display and a yes/no button, so that a pairing is a
numeric comparison rather than Just Works. Confirms every request, logs
each one on stdout, and prints "agent ready" once registered.

Needs Debian's python3 with python3-dbus and python3-gi."""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PATH = "/rtq/agent"
IFACE = "org.bluez.Agent1"


def say(*words):
    print(*words, flush=True)


class Agent(dbus.service.Object):
    @dbus.service.method(IFACE, in_signature="ou", out_signature="")
    def RequestConfirmation(self, device, passkey):
        say("confirm", device, "%06d" % passkey)

    @dbus.service.method(IFACE, in_signature="o", out_signature="")
    def RequestAuthorization(self, device):
        say("authorize", device)

    @dbus.service.method(IFACE, in_signature="os", out_signature="")
    def AuthorizeService(self, device, uuid):
        say("service", device, uuid)

    @dbus.service.method(IFACE, in_signature="ouq", out_signature="")
    def DisplayPasskey(self, device, passkey, entered):
        say("display", device, "%06d" % passkey)

    @dbus.service.method(IFACE, in_signature="o", out_signature="u")
    def RequestPasskey(self, device):
        say("passkey", device)
        return dbus.UInt32(0)

    @dbus.service.method(IFACE, in_signature="o", out_signature="s")
    def RequestPinCode(self, device):
        say("pincode", device)
        return "0000"

    @dbus.service.method(IFACE, in_signature="", out_signature="")
    def Cancel(self):
        say("cancel")

    @dbus.service.method(IFACE, in_signature="", out_signature="")
    def Release(self):
        say("release")


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    Agent(bus, PATH)
    manager = dbus.Interface(bus.get_object("org.bluez", "/org/bluez"), "org.bluez.AgentManager1")
    manager.RegisterAgent(PATH, "DisplayYesNo")
    manager.RequestDefaultAgent(PATH)
    say("agent ready")
    GLib.MainLoop().run()


if __name__ == "__main__":
    sys.exit(main())
