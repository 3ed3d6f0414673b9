#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The part of a login manager's D-Bus API that a compositor needs to open its devices, for the
device-test VM, which has no login manager: one session on seat0, always active, that lets its
controller open any device node and passes the descriptor back. Serves on the bus that
DBUS_SYSTEM_BUS_ADDRESS names, as org.freedesktop.login1, until it is ended."""

import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BUS_NAME = "org.freedesktop.login1"
MANAGER_PATH = "/org/freedesktop/login1"
SESSION_PATH = "/org/freedesktop/login1/session/test"
SEAT_PATH = "/org/freedesktop/login1/seat/seat0"
SESSION = "org.freedesktop.login1.Session"
PROPERTIES = "org.freedesktop.DBus.Properties"


class Manager(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="s", out_signature="o")
    def GetSession(self, session_id):
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.method("org.freedesktop.login1.Manager", in_signature="u", out_signature="o")
    def GetSessionByPID(self, pid):
        return dbus.ObjectPath(SESSION_PATH)

    @dbus.service.signal("org.freedesktop.login1.Manager", signature="b")
    def PrepareForSleep(self, sleeping):
        pass


class Seat(dbus.service.Object):
    @dbus.service.method("org.freedesktop.login1.Seat", in_signature="u")
    def SwitchTo(self, terminal):
        pass


class Session(dbus.service.Object):
    properties = {
        "Active": dbus.Boolean(True),
        "VTNr": dbus.UInt32(1),
        "Seat": dbus.Struct(("seat0", dbus.ObjectPath(SEAT_PATH)), signature="so"),
        "Id": "test",
        "Type": "wayland",
        "Class": "user",
        "State": "active",
    }

    @dbus.service.method(SESSION)
    def Activate(self):
        pass

    @dbus.service.method(SESSION, in_signature="b")
    def TakeControl(self, force):
        pass

    @dbus.service.method(SESSION)
    def ReleaseControl(self):
        pass

    @dbus.service.method(SESSION, in_signature="uu", out_signature="hb")
    def TakeDevice(self, major, minor):
        node = device_node(major, minor)
        if node is None:
            raise dbus.exceptions.DBusException(
                f"no device {major}:{minor}", name="org.freedesktop.DBus.Error.FileNotFound")
        fd = os.open(node, os.O_RDWR | os.O_CLOEXEC | os.O_NONBLOCK)
        try:
            return dbus.types.UnixFd(fd), dbus.Boolean(False)
        finally:
            os.close(fd)  # UnixFd holds its own duplicate

    @dbus.service.method(SESSION, in_signature="uu")
    def ReleaseDevice(self, major, minor):
        pass

    @dbus.service.method(SESSION, in_signature="uu")
    def PauseDeviceComplete(self, major, minor):
        pass

    @dbus.service.method(SESSION, in_signature="b")
    def SetIdleHint(self, idle):
        pass

    @dbus.service.signal(SESSION, signature="uus")
    def PauseDevice(self, major, minor, kind):
        pass

    @dbus.service.signal(SESSION, signature="uuh")
    def ResumeDevice(self, major, minor, fd):
        pass

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass


def device_node(major, minor):
    """The /dev node of a character device, from the kernel's own record of it."""
    try:
        with open(f"/sys/dev/char/{major}:{minor}/uevent") as uevent:
            for line in uevent:
                if line.startswith("DEVNAME="):
                    return "/dev/" + line.strip().split("=", 1)[1]
    except OSError:
        pass
    return None


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SystemBus()
    name = dbus.service.BusName(BUS_NAME, bus)
    objects = [Manager(bus, MANAGER_PATH), Seat(bus, SEAT_PATH), Session(bus, SESSION_PATH)]
    print("login stub ready", flush=True)
    GLib.MainLoop().run()
    del name, objects


if __name__ == "__main__":
    sys.exit(main())
