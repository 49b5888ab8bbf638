#!/usr/bin/python3
"""Selection change in Nautilus to Presto's state file holding it.

Runs a real Nautilus with Presto's extension on a private Xvfb display and D-Bus session bus
(as the tests do), selects one of two files, then moves the selection between them with the
arrow keys sent through XTEST, and times each key press until the state file names the newly
selected file. Prints the median (p50), p90 and worst of the changes.

    bench/filemanager_latency.py [changes]     (default 50)
"""

import ctypes
import ctypes.util
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.realpath(__file__)), "..", "tests",
                                "filemanager"))

from desktop_session import DesktopSession, wait_for  # noqa: E402

NAME = "org.freedesktop.FileManager1"


class Xtest:
    """Key presses straight through XTEST, so no helper program's start is timed."""

    def __init__(self, display):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        self.xtst = ctypes.CDLL(ctypes.util.find_library("Xtst"))
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XFlush.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display %s" % display)

    def press(self, key):
        code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(key.encode()))
        self.xtst.XTestFakeKeyEvent(self.display, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.display, code, 0, 0)
        self.x11.XFlush(self.display)


def main():
    changes = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    session = DesktopSession("nautilus-python/extensions", ["presto_nautilus.py"])
    try:
        folder = os.path.join(session.work, "files")
        os.mkdir(folder)
        files = [os.path.join(folder, name) for name in ("f0", "f1")]
        for path in files:
            open(path, "w").close()
        session.start(["nautilus", "--gapplication-service"], "nautilus.log")
        wait_for(lambda: session.name_owned(NAME), "Nautilus")
        session.wait_for_state("", [])
        session.show_items(NAME, [files[0]])
        session.wait_for_state(folder, [files[0]])
        (window,) = wait_for(lambda: session.windows("nautilus"), "a Nautilus window")
        session.focus(window)

        keyboard = Xtest(session.env["DISPLAY"])
        wanted_lines = [os.fsencode(p) for p in files]
        times = []
        for i in range(changes):
            target = (i + 1) % 2
            start = time.monotonic()
            keyboard.press("Right" if target == 1 else "Left")
            wait_for(lambda: (session.state() or (b"", []))[1] == [wanted_lines[target]],
                     "the selection of %s" % files[target])
            times.append((time.monotonic() - start) * 1000)
        times.sort()
        print("selection change -> state file, %d changes: p50 %.1f ms, p90 %.1f ms, max %.1f ms"
              % (changes, statistics.median(times), times[int(len(times) * 0.9) - 1], times[-1]))
    finally:
        session.close()


if __name__ == "__main__":
    main()
