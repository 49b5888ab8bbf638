"""Front window, folder and selection of a GTK 3 file manager (Caja, Nemo, Thunar), kept by its
extension hooks and written to Presto's state file.

Each window's folder and selection are what its hooks last reported; the front window is the one
most recently focused. Windows are forgotten when they are destroyed, and when the application
ends the file says that no window is open.
"""

import atexit
import sys

from gi.repository import GLib

import presto_state


class WindowTracker:
    def __init__(self, name, window_types):
        self.name = name
        self.window_types = set(window_types)
        self.state = presto_state.StateFile()
        self.order = []  # most recently focused first
        self.folders = {}  # window -> folder URI
        self.selections = {}  # window -> selected paths
        self.refresh_source = 0
        self.ended = False
        atexit.register(self.end)
        GLib.idle_add(self._start, priority=GLib.PRIORITY_DEFAULT)

    def log(self, message):
        print("Presto (%s): %s" % (self.name, message), file=sys.stderr, flush=True)

    def _start(self):
        self._write(force=True)
        try:
            from gi.repository import Gtk

            app = Gtk.Application.get_default()
        except (ImportError, ValueError):
            app = None
        if app is not None:
            app.connect("window-added", lambda _app, window: self.window(window))
            app.connect("shutdown", lambda _app: self.end())
        return GLib.SOURCE_REMOVE

    def is_file_manager_window(self, window):
        return window is not None and window.__gtype__.name in self.window_types

    def window(self, window):
        """Takes note of a window; returns False for windows that are not browsing windows."""
        if not self.is_file_manager_window(window):
            return False
        if window not in self.order:
            self.order.insert(0, window)
            window.connect("notify::is-active", self._activated)
            window.connect("destroy", self._destroyed)
            self.schedule()
        return True

    def set_folder(self, window, uri):
        if not self.window(window):
            return
        if self.folders.get(window) != uri:
            self.folders[window] = uri
            self.selections.pop(window, None)
            self.schedule()

    def set_selection(self, window, infos):
        if not self.window(window):
            return
        self.selections[window] = presto_state.local_paths(infos)
        self.schedule()

    def _activated(self, window, _param):
        if window.is_active() and window in self.order:
            self.order.remove(window)
            self.order.insert(0, window)
            self.schedule()

    def _destroyed(self, window):
        if window in self.order:
            self.order.remove(window)
        self.folders.pop(window, None)
        self.selections.pop(window, None)
        self.schedule()

    def schedule(self):
        if not self.refresh_source and not self.ended:
            # Above redrawing, so a busy window does not hold the file back.
            self.refresh_source = GLib.idle_add(self._refresh, priority=GLib.PRIORITY_DEFAULT)

    def _refresh(self):
        self.refresh_source = 0
        self._write()
        return GLib.SOURCE_REMOVE

    def _write(self, force=False):
        folder = selection = None
        if self.order and not self.ended:
            front = self.order[0]
            folder = presto_state.uri_to_path(self.folders.get(front))
            selection = self.selections.get(front, []) if folder else []
        try:
            self.state.write(folder, selection or (), force=force)
        except OSError as error:
            self.log("cannot write %s: %s" % (self.state.path, error))

    def end(self):
        if not self.ended:
            self.ended = True
            self._write()


def location_and_menu_provider(binding, tracker):
    """The extension class for Caja or Nemo, whose bindings offer the same hooks: the
    location-widget hook reports every folder a window loads, the menu hook its selection."""
    from gi.repository import GObject

    class PrestoStateProvider(GObject.GObject, binding.LocationWidgetProvider,
                              binding.MenuProvider):
        __gtype_name__ = "Presto%sStateProvider" % tracker.name

        def get_widget(self, uri, window):
            try:
                tracker.set_folder(window, uri)
            except Exception as error:  # never let Presto break the file manager
                tracker.log("folder not recorded: %r" % error)
            return None

        def get_file_items(self, window, files):
            try:
                tracker.set_selection(window, files)
            except Exception as error:
                tracker.log("selection not recorded: %r" % error)
            return []

    return PrestoStateProvider
