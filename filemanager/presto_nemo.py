"""Presto for Nemo: tells Presto.daemon the front window's folder and its selection.

Copy this file, presto_windows.py and presto_state.py into ~/.local/share/nemo-python/extensions/
and restart Nemo once (nemo -q).

The folder follows every load through the location-widget hook. Nemo asks the menu hook for the
selection only when it builds the context menu, so the file holds the selection as of the last
time the user opened the context menu (right click) in that window.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

from gi.repository import Nemo  # noqa: E402

import presto_windows  # noqa: E402

_tracker = presto_windows.WindowTracker("Nemo", ["NemoWindow", "NemoNavigationWindow"])


PrestoStateProvider = presto_windows.location_and_menu_provider(Nemo, _tracker)
