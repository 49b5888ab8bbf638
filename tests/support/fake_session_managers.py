#!/usr/bin/python3
"""Stand-ins for the desktops' session managers and for logind, on private buses.

Each owns its names and answers as the real service's interface does, writing one line per call
to the log ("interface.Method (arguments)") and powering nothing off. Options:
  --session ADDRESS   the session bus
  --system ADDRESS    the system bus
  --desktop NAME      gnome, kde (the logout prompt and ksmserver), ksmserver (alone, as before
                      Plasma 5.25), xfce, mate (org.gnome.SessionManager without Reboot), none
  --refuse            the session manager answers every request with an error
  --no-logind         nothing answers on the system bus
  --log FILE, --ready FILE (written once every name is owned)
"""
import argparse
import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402


def interface_xml(name, methods):
    body = "".join(
        '<method name="%s">%s</method>'
        % (method, "".join('<arg type="%s" direction="in"/>' % t for t in signature))
        for method, signature in methods
    )
    return '<node><interface name="%s">%s</interface></node>' % (name, body)


# service name -> (object path, interface, [(method, argument types)])
SERVICES = {
    "gnome": [("org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
               [("Reboot", ""), ("Shutdown", ""), ("Logout", "u")])],
    "mate": [("org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
              [("Shutdown", ""), ("Logout", "u")])],
    "kde": [("org.kde.ksmserver", "/KSMServer", "org.kde.KSMServerInterface",
             [("logout", "iii")]),
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


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--session", required=True)
    parser.add_argument("--system", required=True)
    parser.add_argument("--desktop", choices=sorted(SERVICES), required=True)
    parser.add_argument("--refuse", action="store_true")
    parser.add_argument("--no-logind", action="store_true")
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    options = parser.parse_args()

    log = open(options.log, "a", buffering=1)

    def connect(address):
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                 | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)

    def serve(bus, service, refuse):
        name, path, interface, methods = service
        info = Gio.DBusNodeInfo.new_for_xml(interface_xml(interface, methods)).interfaces[0]

        def on_call(connection, sender, path, interface, method, parameters, invocation):
            log.write("%s.%s %s\n" % (interface, method, parameters.print_(False)))
            if refuse:
                invocation.return_dbus_error("org.presto.test.Refused", "not now")
            else:
                invocation.return_value(None)

        bus.register_object(path, info, on_call, None, None)
        # DO_NOT_QUEUE: the name is ours at once, or the stand-in fails.
        reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "RequestName", GLib.Variant("(su)", (name, 4)),
                              GLib.VariantType("(u)"), Gio.DBusCallFlags.NONE, -1, None)
        if reply.unpack()[0] != 1:
            raise SystemExit("cannot own " + name)

    session = connect(options.session)
    system = connect(options.system)
    for service in SERVICES[options.desktop]:
        serve(session, service, options.refuse)
    if not options.no_logind:
        serve(system, LOGIND, False)
    with open(options.ready + ".new", "w") as ready:
        ready.write("ready\n")
    os.rename(options.ready + ".new", options.ready)

    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, lambda: loop.quit() or False)
    session.connect("closed", lambda *_: loop.quit())
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
