"""Presto for Caja: tells Presto.daemon the front window's folder and its selection.

Copy this file, presto_windows.py and presto_state.py into ~/.local/share/caja-python/extensions/
and restart Caja once (caja -q).

Caja reports every folder a window loads through the location-widget hook and every selection
change through the menu hook, so the file is current at once.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

from gi.repository import Caja, GObject  # noqa: E402

import presto_windows  # noqa: E402

_tracker = presto_windows.WindowTracker("Caja", ["CajaNavigationWindow", "CajaSpatialWindow"])


class PrestoStateProvider(GObject.GObject, Caja.LocationWidgetProvider, Caja.MenuProvider):
    def get_widget(self, uri, window):
        try:
            _tracker.set_folder(window, uri)
        except Exception as error:  # never let Presto break the file manager
            _tracker.log("folder not recorded: %r" % error)
        return None

    def get_file_items(self, window, files):
        try:
            _tracker.set_selection(window, files)
        except Exception as error:
            _tracker.log("selection not recorded: %r" % error)
        return []
