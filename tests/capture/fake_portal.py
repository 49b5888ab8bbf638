#!/usr/bin/python3
"""A stand-in for the desktop portal's GlobalShortcuts on a private session bus.

It answers as xdg-desktop-portal does (each call returns a request object whose Response signal
carries the answer), writes one line per call to the log, and takes orders from the test through
org.presto.test.PortalControl (Activate, Deactivate). Options:
  --log FILE       where the lines go
  --ready FILE     written with the bus address once the portal's name is owned
  --refuse ID      the desktop does not bind this shortcut
  --rebind ID=TEXT the desktop binds this shortcut to TEXT
  --no-registry    a portal without org.freedesktop.host.portal.Registry
  --respond-first  each Response goes out before the call's reply
"""
import argparse
import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

BUS_NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"

SHORTCUTS_XML = """
<node>
  <interface name="org.freedesktop.portal.GlobalShortcuts">
    <method name="CreateSession">
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="BindShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
      <arg type="a(sa{sv})" name="shortcuts" direction="in"/>
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <signal name="Activated">
      <arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/>
    </signal>
    <signal name="Deactivated">
      <arg type="o"/><arg type="s"/><arg type="t"/><arg type="a{sv}"/>
    </signal>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.presto.test.PortalControl">
    <method name="Activate"><arg type="s" name="id" direction="in"/></method>
    <method name="Deactivate"><arg type="s" name="id" direction="in"/></method>
  </interface>
</node>
"""
REGISTRY_XML = """
<node>
  <interface name="org.freedesktop.host.portal.Registry">
    <method name="Register">
      <arg type="s" name="app_id" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
    </method>
  </interface>
</node>
"""
SESSION_XML = """
<node>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
    <signal name="Closed"><arg type="a{sv}"/></signal>
  </interface>
</node>
"""


def human(trigger):
    """How a desktop shows a trigger: "CTRL+ALT+g" becomes "Ctrl+Alt+G"."""
    names = {"CTRL": "Ctrl", "ALT": "Alt", "SHIFT": "Shift", "LOGO": "Meta"}
    parts = trigger.split("+")
    return "+".join([names.get(p, p) for p in parts[:-1]] + [parts[-1].upper()])


class Portal:
    def __init__(self, args):
        self.args = args
        self.refused = set(args.refuse)
        self.rebound = dict(item.split("=", 1) for item in args.rebind)
        self.sessions = {}  # path -> {"sender", "ids", "registration"}
        self.log_file = open(args.log, "a", buffering=1)
        self.connection = None

    def log(self, line):
        self.log_file.write(line + "\n")

    def respond(self, sender, path, results):
        def emit():
            self.connection.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                                        GLib.Variant("(ua{sv})", (0, results)))
            return False
        if self.args.respond_first:
            emit()
        else:
            # After the method's reply, as the portal does.
            GLib.idle_add(emit)

    def reply_and_respond(self, invocation, sender, request, results):
        if self.args.respond_first:
            self.respond(sender, request, results)
            invocation.return_value(GLib.Variant("(o)", (request,)))
        else:
            invocation.return_value(GLib.Variant("(o)", (request,)))
            self.respond(sender, request, results)

    def request_path(self, sender, token):
        return "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), token)

    def on_call(self, connection, sender, path, interface, method, params, invocation):
        if interface == "org.freedesktop.host.portal.Registry":
            self.log("Register %s" % params[0])
            invocation.return_value(None)
        elif method == "CreateSession":
            options = params[0]
            token = options.get("handle_token", "t")
            session_token = options.get("session_handle_token", "s")
            request = self.request_path(sender, token)
            session = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"), session_token)
            node = Gio.DBusNodeInfo.new_for_xml(SESSION_XML)
            registration = connection.register_object(session, node.interfaces[0],
                                                      self.on_session_call, None, None)
            self.sessions[session] = {"sender": sender, "ids": set(),
                                      "registration": registration}
            self.log("CreateSession handle_token=%s session_handle_token=%s -> %s"
                     % (token, session_token, session))
            self.reply_and_respond(invocation, sender, request,
                                   {"session_handle": GLib.Variant("s", session)})
        elif method == "BindShortcuts":
            session, shortcuts, _parent, options = params
            request = self.request_path(sender, options.get("handle_token", "t"))
            asked = " ".join("%s=%s" % (sid, props.get("preferred_trigger", ""))
                             for sid, props in shortcuts)
            self.log("BindShortcuts %s %s" % (session, asked))
            bound = []
            for sid, props in shortcuts:
                if sid in self.refused:
                    continue
                trigger = self.rebound.get(sid, human(props.get("preferred_trigger", "")))
                bound.append((sid, {"description": GLib.Variant("s", props.get("description", "")),
                                    "trigger_description": GLib.Variant("s", trigger)}))
                if session in self.sessions:
                    self.sessions[session]["ids"].add(sid)
            self.reply_and_respond(invocation, sender, request,
                                   {"shortcuts": GLib.Variant("a(sa{sv})", bound)})
        elif method in ("Activate", "Deactivate"):
            sid = params[0]
            live = [p for p, s in self.sessions.items() if sid in s["ids"]]
            for session in live:
                connection.emit_signal(self.sessions[session]["sender"], PATH,
                                       "org.freedesktop.portal.GlobalShortcuts",
                                       "Activated" if method == "Activate" else "Deactivated",
                                       GLib.Variant("(osta{sv})", (session, sid, 1234, {})))
            invocation.return_value(None)
        else:
            invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)

    def on_session_call(self, connection, sender, path, interface, method, params, invocation):
        if method == "Close":
            self.log("Close %s" % path)
            session = self.sessions.pop(path, None)
            if session:
                connection.unregister_object(session["registration"])
        invocation.return_value(None)

    def on_get_property(self, connection, sender, path, interface, name):
        return GLib.Variant("u", 1)

    def start(self, connection):
        self.connection = connection
        node = Gio.DBusNodeInfo.new_for_xml(SHORTCUTS_XML)
        for interface in node.interfaces:
            connection.register_object(PATH, interface, self.on_call, self.on_get_property, None)
        if not self.args.no_registry:
            node = Gio.DBusNodeInfo.new_for_xml(REGISTRY_XML)
            connection.register_object(PATH, node.interfaces[0], self.on_call, None, None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--rebind", action="append", default=[])
    parser.add_argument("--no-registry", action="store_true")
    parser.add_argument("--respond-first", action="store_true")
    args = parser.parse_args()

    portal = Portal(args)
    loop = GLib.MainLoop()

    def acquired(connection, name):
        temporary = args.ready + ".new"
        with open(temporary, "w") as ready:
            ready.write(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        os.rename(temporary, args.ready)

    def lost(connection, name):
        loop.quit()

    Gio.bus_own_name(Gio.BusType.SESSION, BUS_NAME, Gio.BusNameOwnerFlags.NONE,
                     lambda connection, name: portal.start(connection), acquired, lost)
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, lambda: loop.quit() or False)
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
