#!/usr/bin/python3
"""A stand-in for the desktop portal's GlobalShortcuts on a private session bus.

It answers as xdg-desktop-portal does (each call returns a request object whose Response signal
carries the answer), writes one line per call to the log, and takes orders from the test through
org.presto.test.PortalControl (Activate, Deactivate, Confirm). Options:
  --log FILE       where the lines go
  --ready FILE     written with the bus address once the portal's name is owned
  --version N      the interface version it states (1 by default)
  --refuse ID      the desktop does not bind this shortcut
  --rebind ID=TEXT the desktop binds this shortcut to TEXT
  --no-registry    a portal without org.freedesktop.host.portal.Registry
  --respond-first  each Response goes out before the call's reply
  --bind-at-create as Plasma 5.27: only CreateSession's "shortcuts" bind, into a group named after
                   the session token; a combination held by another group stays there, and every
                   answer describes each shortcut as asked, bound or not
  --confirm        BindShortcuts answers once the test calls Confirm(accepted)
  --backend-fails  CreateSession answers 2, as a portal whose backend lacks the interface
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
    <method name="ListShortcuts">
      <arg type="o" name="session_handle" direction="in"/>
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
    <method name="Confirm"><arg type="b" name="accepted" direction="in"/></method>
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


def described(shortcuts):
    return GLib.Variant("a(sa{sv})", [
        (sid, {"description": GLib.Variant("s", description),
               "trigger_description": GLib.Variant("s", trigger)})
        for sid, (description, trigger) in shortcuts.items()])


class Portal:
    def __init__(self, args):
        self.args = args
        self.refused = set(args.refuse)
        self.rebound = dict(item.split("=", 1) for item in args.rebind)
        # path -> {"sender", "token", "shortcuts": {id: (description, trigger)}, "registration"}
        self.sessions = {}
        self.groups = {}  # token -> {id: trigger}, kept when sessions close, as Plasma does
        self.holders = {}  # trigger -> token of the group that holds it
        self.awaiting = None  # (sender, request, session, shortcuts) until Confirm
        self.log_file = open(args.log, "a", buffering=1)
        self.connection = None

    def log(self, line):
        self.log_file.write(line + "\n")

    def respond(self, sender, path, results, code=0):
        def emit():
            self.connection.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                                        GLib.Variant("(ua{sv})", (code, results)))
            return False
        if self.args.respond_first:
            emit()
        else:
            # After the method's reply, as the portal does.
            GLib.idle_add(emit)

    def reply_and_respond(self, invocation, sender, request, results, code=0):
        if self.args.respond_first:
            self.respond(sender, request, results, code)
            invocation.return_value(GLib.Variant("(o)", (request,)))
        else:
            invocation.return_value(GLib.Variant("(o)", (request,)))
            self.respond(sender, request, results, code)

    def request_path(self, sender, token):
        return "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), token)

    def group_binds(self, token, shortcuts):
        group = self.groups.setdefault(token, {})
        for sid, props in shortcuts:
            trigger = props.get("preferred_trigger", "")
            group[sid] = trigger
            self.holders.setdefault(trigger, token)

    def bind(self, session, shortcuts):
        """Binds as a portal that takes BindShortcuts' list; returns the answer's shortcuts."""
        bound = {}
        for sid, props in shortcuts:
            if sid in self.refused:
                continue
            trigger = self.rebound.get(sid, human(props.get("preferred_trigger", "")))
            bound[sid] = (props.get("description", ""), trigger)
        if session in self.sessions:
            self.sessions[session]["shortcuts"].update(bound)
        return bound

    def live(self, session, sid):
        if not self.args.bind_at_create:
            return sid in session["shortcuts"]
        trigger = self.groups.get(session["token"], {}).get(sid)
        return trigger is not None and self.holders.get(trigger) == session["token"]

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
            given = options.get("shortcuts", [])
            self.log("CreateSession handle_token=%s session_handle_token=%s shortcuts=%s -> %s"
                     % (token, session_token,
                        ",".join("%s=%s" % (sid, p.get("preferred_trigger", ""))
                                 for sid, p in given), session))
            if self.args.backend_fails:
                self.reply_and_respond(invocation, sender, request, {}, code=2)
                return
            if session in self.sessions:
                invocation.return_dbus_error("org.freedesktop.DBus.Error.Failed",
                                             "session exists")
                return
            node = Gio.DBusNodeInfo.new_for_xml(SESSION_XML)
            registration = connection.register_object(session, node.interfaces[0],
                                                      self.on_session_call, None, None)
            self.sessions[session] = {"sender": sender, "token": session_token, "shortcuts": {},
                                      "registration": registration}
            results = {"session_handle": GLib.Variant("s", session)}
            if self.args.bind_at_create and given:
                self.group_binds(session_token, given)
                self.sessions[session]["shortcuts"] = {
                    sid: (p.get("description", ""), human(p.get("preferred_trigger", "")))
                    for sid, p in given}
                results["shortcuts"] = described(self.sessions[session]["shortcuts"])
            self.reply_and_respond(invocation, sender, request, results)
        elif method == "BindShortcuts":
            session, shortcuts, _parent, options = params
            request = self.request_path(sender, options.get("handle_token", "t"))
            asked = " ".join("%s=%s" % (sid, props.get("preferred_trigger", ""))
                             for sid, props in shortcuts)
            self.log("BindShortcuts %s %s" % (session, asked))
            if self.args.bind_at_create:
                known = self.sessions.get(session, {}).get("shortcuts", {})
                self.reply_and_respond(invocation, sender, request,
                                       {"shortcuts": described(known)})
            elif self.args.confirm:
                invocation.return_value(GLib.Variant("(o)", (request,)))
                self.awaiting = (sender, request, session, shortcuts)
            else:
                bound = self.bind(session, shortcuts)
                self.reply_and_respond(invocation, sender, request,
                                       {"shortcuts": described(bound)})
        elif method == "ListShortcuts":
            session, options = params
            request = self.request_path(sender, options.get("handle_token", "t"))
            self.log("ListShortcuts %s" % session)
            known = self.sessions.get(session, {}).get("shortcuts", {})
            self.reply_and_respond(invocation, sender, request, {"shortcuts": described(known)})
        elif method == "Confirm":
            invocation.return_value(None)
            if self.awaiting:
                sender, request, session, shortcuts = self.awaiting
                self.awaiting = None
                if params[0]:
                    self.respond(sender, request,
                                 {"shortcuts": described(self.bind(session, shortcuts))})
                else:
                    self.respond(sender, request, {}, code=1)
        elif method in ("Activate", "Deactivate"):
            sid = params[0]
            for session_path, session in self.sessions.items():
                if self.live(session, sid):
                    connection.emit_signal(session["sender"], PATH,
                                           "org.freedesktop.portal.GlobalShortcuts",
                                           "Activated" if method == "Activate" else "Deactivated",
                                           GLib.Variant("(osta{sv})",
                                                        (session_path, sid, 1234, {})))
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
        return GLib.Variant("u", self.args.version)

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
    parser.add_argument("--version", type=int, default=1)
    parser.add_argument("--bind-at-create", action="store_true")
    parser.add_argument("--confirm", action="store_true")
    parser.add_argument("--backend-fails", action="store_true")
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
