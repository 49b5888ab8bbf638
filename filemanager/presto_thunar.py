"""Presto for Thunar: tells Presto.daemon the front window's folder and its selection.

Copy this file, presto_windows.py and presto_state.py into
~/.local/share/thunarx-python/extensions/ and restart Thunar once (thunar -q).

The folder follows each window's current-directory property live. Thunar asks the menu hook for
the selection when it builds the context menu, so the file holds the selection as of the last
time the user opened the context menu (right click, Shift+F10 or the Menu key) in that window.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

from gi.repository import GLib, GObject, Gtk, Thunarx  # noqa: E402

import presto_windows  # noqa: E402

_WINDOW_TYPES = ["ThunarWindow"]


class _ThunarTracker(presto_windows.WindowTracker):
    def window(self, window):
        known = window in self.order
        if not super().window(window):
            return False
        if not known:
            window.connect("notify::current-directory", self._directory_changed)
            self._directory_changed(window, None)
        return True

    def _directory_changed(self, window, _param):
        directory = window.get_property("current-directory")
        self.set_folder(window, directory.get_uri() if directory is not None else None)

    def _start(self):
        # No hook announces a new window: the application does (window-added), and the windows
        # open before the extension came are among the toplevels.
        super()._start()
        self.scan()
        if Gtk.Application.get_default() is None:
            GLib.timeout_add(500, self.scan)
        return GLib.SOURCE_REMOVE

    def scan(self):
        for window in Gtk.Window.list_toplevels():
            if self.is_file_manager_window(window):
                self.window(window)
        return GLib.SOURCE_CONTINUE


_tracker = _ThunarTracker("Thunar", _WINDOW_TYPES)


class PrestoStateProvider(GObject.GObject, Thunarx.MenuProvider):
    def get_file_menu_items(self, window, files):
        try:
            _tracker.set_selection(window, files)
        except Exception as error:  # never let Presto break the file manager
            _tracker.log("selection not recorded: %r" % error)
        return []

    def get_folder_menu_items(self, window, folder):
        try:
            _tracker.set_selection(window, [])
        except Exception as error:
            _tracker.log("selection not recorded: %r" % error)
        return []
