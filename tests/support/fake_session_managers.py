#!/usr/bin/python3
"""Stand-ins for the desktops' session managers and for logind, on two private buses.

Starts a session and a system bus in FOLDER (with nothing to start on demand), owns the chosen
services' names there and answers as their interfaces do, powering nothing off. Each call is a
line of FOLDER/calls ("interface.Method (arguments)"); FOLDER/ready holds the two buses'
addresses once everything is in place. Options:
  --desktop   gnome, kde (logout prompt and ksmserver), ksmserver (alone, as before Plasma 5.25),
              xfce, mate (org.gnome.SessionManager without Reboot) or none
  --refuse    the session manager answers every request with an error
  --no-logind nothing answers on the system bus
"""
import argparse
import os
import subprocess
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%s</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

# desktop -> [(name, object path, interface, [(method, argument types)])]
SERVICES = {
    "gnome": [("org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
               [("Reboot", ""), ("Shutdown", ""), ("Logout", "u")])],
    "mate": [("org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
              [("Shutdown", ""), ("Logout", "u")])],
    "kde": [("org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface", [("logout", "iii")]),
            ("org.kde.LogoutPrompt", "/LogoutPrompt", "org.kde.LogoutPrompt",
             [("promptLogout", ""), ("promptReboot", ""), ("promptShutDown", "")])],
    "ksmserver": [("org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface",
                   [("logout", "iii")])],
    "xfce": [("org.xfce.SessionManager", "/org/xfce/SessionManager", "org.xfce.Session.Manager",
              [("Logout", "bb"), ("Restart", "b"), ("Shutdown", "b")])],
    "none": [],
}
LOGIND = ("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
          [("Reboot", "b"), ("PowerOff", "b"), ("Suspend", "b")])


def start_bus(folder, name):
    config = os.path.join(folder, name + ".conf")
    with open(config, "w") as out:
        out.write(BUS_CONFIG % os.path.join(folder, name))
    bus = subprocess.Popen(["/usr/bin/dbus-daemon", "--config-file=" + config, "--nofork",
                            "--nopidfile", "--print-address=1"], stdout=subprocess.PIPE, text=True)
    address = bus.stdout.readline().strip()
    flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
             | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    return bus, address, Gio.DBusConnection.new_for_address_sync(address, flags, None, None)


def serve(bus, service, refuse, log):
    name, path, interface, methods = service
    xml = '<node><interface name="%s">%s</interface></node>' % (interface, "".join(
        '<method name="%s">%s</method>' % (method, "".join(
            '<arg type="%s" direction="in"/>' % t for t in types)) for method, types in methods))

    def on_call(connection, sender, path, interface, method, parameters, invocation):
        log.write("%s.%s %s\n" % (interface, method, parameters.print_(False)))
        if refuse:
            invocation.return_dbus_error("org.presto.test.Refused", "not now")
        else:
            invocation.return_value(None)

    bus.register_object(path, Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0], on_call, None, None)
    # DO_NOT_QUEUE (4): the name is ours at once, or the stand-in fails.
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "RequestName", GLib.Variant("(su)", (name, 4)), GLib.VariantType("(u)"),
                          Gio.DBusCallFlags.NONE, -1, None)
    if reply.unpack()[0] != 1:
        raise SystemExit("cannot own " + name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--desktop", choices=sorted(SERVICES), required=True)
    parser.add_argument("--refuse", action="store_true")
    parser.add_argument("--no-logind", action="store_true")
    options = parser.parse_args()

    log = open(os.path.join(options.folder, "calls"), "a", buffering=1)
    session_daemon, session_address, session = start_bus(options.folder, "session")
    system_daemon, system_address, system = start_bus(options.folder, "system")
    try:
        for service in SERVICES[options.desktop]:
            serve(session, service, options.refuse, log)
        if not options.no_logind:
            serve(system, LOGIND, False, log)
        ready = os.path.join(options.folder, "ready")
        with open(ready + ".new", "w") as out:
            out.write("%s\n%s\n" % (session_address, system_address))
        os.rename(ready + ".new", ready)
        loop = GLib.MainLoop()
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, lambda: loop.quit() or False)
        loop.run()
    finally:
        for daemon in (session_daemon, system_daemon):
            daemon.terminate()
            daemon.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
