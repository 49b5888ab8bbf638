"""Presto for Nautilus 43 and later: tells Presto.daemon the front window's folder and its selection.

Copy this file and presto_state.py into ~/.local/share/nautilus-python/extensions/ and restart
Nautilus once (nautilus -q).

Nautilus reports the selection of the active view through the menu hooks: get_file_items() on
every selection change (also with no file), then get_background_items() for the folder shown.
The two are paired to remember each folder's selection. The front window is the first of the
application's live windows (most recently focused first); its folder comes from the
org.freedesktop.FileManager1 property OpenWindowsWithLocations, which Nautilus keeps on its own
connection. That property keeps closed windows, so the live list alone says which are open.
"""

import collections
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

import gi  # noqa: E402

gi.require_version("Gtk", "4.0")
from gi.repository import GLib, GObject, Gio, Gtk, Nautilus  # noqa: E402

import presto_state  # noqa: E402

_FM1_PATH = "/org/freedesktop/FileManager1"
_FM1_INTERFACE = "org.freedesktop.FileManager1"
_WINDOW_PATH = "/org/gnome/Nautilus/window/%d"
_REMEMBERED_FOLDERS = 64


def _log(message):
    print("Presto (Nautilus): %s" % message, file=sys.stderr, flush=True)


class _Tracker:
    def __init__(self):
        self.state = presto_state.StateFile()
        self.selections = collections.OrderedDict()  # folder URI -> selected paths
        self.pending = None  # the selection reported just before its folder
        self.active_folder = None  # the folder last reported by the active view
        self.locations = {}  # window object path -> folder URIs
        self.app = None
        self.connection = None
        self.refresh_source = 0
        self.started = False

    # Hooks

    def start(self):
        if self.started:
            return
        app = Gtk.Application.get_default()
        if app is None:
            return
        self.started = True
        self.app = app
        app.connect("window-added", self._window_added)
        app.connect("window-removed", lambda *_: self.schedule())
        app.connect("shutdown", self._shutdown)
        for window in app.get_windows():
            self._window_added(app, window)
        self.connection = app.get_dbus_connection()
        if self.connection is not None:
            self.connection.signal_subscribe(
                self.connection.get_unique_name(),
                "org.freedesktop.DBus.Properties",
                "PropertiesChanged",
                _FM1_PATH,
                _FM1_INTERFACE,
                Gio.DBusSignalFlags.NONE,
                self._properties_changed,
            )
            self._fetch_locations()
        self._write(force=True)

    def file_items(self, files):
        self.start()
        self.pending = presto_state.local_paths(files)
        self.schedule()

    def background_items(self, folder):
        self.start()
        uri = folder.get_uri()
        if self.pending is not None:
            self.selections[uri] = self.pending
            self.selections.move_to_end(uri)
            while len(self.selections) > _REMEMBERED_FOLDERS:
                self.selections.popitem(last=False)
            self.pending = None
        self.active_folder = uri
        self.schedule()

    # Window list and folders

    def _window_added(self, _app, window):
        # A window is shown after it is added; the newest focus makes it the front one.
        window.connect("notify::visible", lambda *_: self.schedule())
        window.connect("notify::is-active", lambda *_: self.schedule())
        self.schedule()

    def _shutdown(self, _app):
        self.app = None
        self._write()

    def _fetch_locations(self):
        self.connection.call(
            self.connection.get_unique_name(),
            _FM1_PATH,
            "org.freedesktop.DBus.Properties",
            "Get",
            GLib.Variant("(ss)", (_FM1_INTERFACE, "OpenWindowsWithLocations")),
            GLib.VariantType("(v)"),
            Gio.DBusCallFlags.NONE,
            -1,
            None,
            self._locations_fetched,
        )

    def _locations_fetched(self, connection, result):
        try:
            self.locations = connection.call_finish(result).unpack()[0]
        except GLib.Error as error:
            _log("no window folders: %s" % error.message)
            return
        self.schedule()

    def _properties_changed(self, _conn, _sender, _path, _iface, _signal, parameters):
        _interface, changed, invalidated = parameters.unpack()
        if "OpenWindowsWithLocations" in changed:
            self.locations = changed["OpenWindowsWithLocations"]
            self.schedule()
        elif "OpenWindowsWithLocations" in invalidated:
            self._fetch_locations()

    def _windows(self):
        if self.app is None:
            return []
        return [
            w
            for w in self.app.get_windows()
            if w.__gtype__.name == "NautilusWindow" and w.get_visible()
        ]

    def _front_folder(self, window):
        uris = self.locations.get(_WINDOW_PATH % window.get_id(), [])
        # With tabs the window lists every tab's folder; the active view's is the one it reported.
        if self.active_folder in uris or not uris:
            return self.active_folder
        return uris[0]

    # Writing

    def schedule(self):
        if not self.refresh_source:
            # Above redrawing: a busy view must not hold the file back.
            self.refresh_source = GLib.idle_add(self._refresh, priority=GLib.PRIORITY_DEFAULT)

    def _refresh(self):
        self.refresh_source = 0
        self._write()
        return GLib.SOURCE_REMOVE

    def _write(self, force=False):
        windows = self._windows()
        folder = selection = None
        if windows:
            uri = self._front_folder(windows[0])
            folder = presto_state.uri_to_path(uri)
            selection = self.selections.get(uri, []) if folder else []
        try:
            self.state.write(folder, selection or (), force=force)
        except OSError as error:
            _log("cannot write %s: %s" % (self.state.path, error))


_tracker = _Tracker()


class PrestoStateProvider(GObject.GObject, Nautilus.MenuProvider):
    def __init__(self):
        super().__init__()
        GLib.idle_add(lambda: _tracker.start() and False, priority=GLib.PRIORITY_DEFAULT)

    def get_file_items(self, files):
        try:
            _tracker.file_items(files)
        except Exception as error:  # never let Presto break the file manager's menus
            _log("selection not recorded: %r" % error)
        return []

    def get_background_items(self, current_folder):
        try:
            _tracker.background_items(current_folder)
        except Exception as error:
            _log("folder not recorded: %r" % error)
        return []
