"""Presto for Caja: tells Presto.daemon the front window's folder and its selection.

Copy this file, presto_windows.py and presto_state.py into ~/.local/share/caja-python/extensions/
and restart Caja once (caja -q).

Caja reports every folder a window loads through the location-widget hook and every selection
change through the menu hook, so the file is current at once.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

from gi.repository import Caja  # noqa: E402

import presto_windows  # noqa: E402

_tracker = presto_windows.WindowTracker("Caja", ["CajaNavigationWindow", "CajaSpatialWindow"])


PrestoStateProvider = presto_windows.location_and_menu_provider(Caja, _tracker)
