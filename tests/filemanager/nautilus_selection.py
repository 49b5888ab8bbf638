"""Holds a real Nautilus with the given files selected, for tests of programs that read the state
file: the files' folder must hold exactly these files. The state file goes to the caller's
XDG_RUNTIME_DIR. Prints "DISPLAY=<display>" and "READY" once the file holds the selection, then
keeps everything running until standard input ends. Exit status 77: Nautilus is not installed.

    nautilus_selection.py FILE...
"""

import os
import sys
import unittest

from desktop_session import DesktopSession, require, wait_for
from test_nautilus import NAME, NAUTILUS_PYTHON


def main():
    files = sys.argv[1:]
    try:
        require(["nautilus", "Xvfb", "dbus-daemon", "xdotool"], [NAUTILUS_PYTHON])
    except unittest.SkipTest as skip:
        print("SKIP %s" % skip, flush=True)
        sys.exit(77)
    session = DesktopSession("nautilus-python/extensions", ["presto_nautilus.py"],
                             runtime_dir=os.environ.get("XDG_RUNTIME_DIR"))
    try:
        session.start(["nautilus", "--gapplication-service"], "nautilus.log")
        wait_for(lambda: session.name_owned(NAME), "Nautilus")
        session.wait_for_state("", [])
        session.show_items(NAME, files[:1])
        folder = os.path.dirname(files[0])
        session.wait_for_state(folder, files[:1])
        (window,) = wait_for(lambda: session.windows("nautilus"), "a Nautilus window")
        session.focus(window)
        session.key("ctrl+a")
        session.wait_for_state(folder, files)
        print("DISPLAY=%s" % session.env["DISPLAY"], flush=True)
        print("READY", flush=True)
        sys.stdin.read()
    finally:
        session.close()


if __name__ == "__main__":
    main()
