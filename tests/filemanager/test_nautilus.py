"""The Nautilus extension in a real Nautilus on a private display and bus."""

import os
import sysconfig
import unittest

from desktop_session import DesktopSession, main, require, wait_for

NAUTILUS_PYTHON = "/usr/lib/%s/nautilus/extensions-4/libnautilus-python.so" % sysconfig.get_config_var(
    "MULTIARCH"
)
NAME = "org.freedesktop.FileManager1"


class NautilusTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require(["nautilus", "Xvfb", "dbus-daemon", "xdotool"], [NAUTILUS_PYTHON])

    def setUp(self):
        self.session = DesktopSession("nautilus-python/extensions", ["presto_nautilus.py"])
        self.addCleanup(self.session.close)
        self.nautilus = None

    def start_nautilus(self):
        s = self.session
        self.nautilus = s.start(["nautilus", "--gapplication-service"], "nautilus.log")
        wait_for(lambda: s.name_owned(NAME) or self.nautilus.poll() is not None, "Nautilus")
        self.assertIsNone(self.nautilus.poll(), s.log("nautilus.log"))
        # The extension writes the file afresh once Nautilus has started up.
        try:
            s.wait_for_state("", [])
        except AssertionError:
            raise AssertionError(s.log("nautilus.log"))

    def nautilus_windows(self, count):
        return wait_for(
            lambda: len(self.session.windows("nautilus")) == count and self.session.windows(
                "nautilus"), "%d Nautilus windows" % count)

    def folder(self, name, files):
        path = os.path.join(self.session.work, name)
        os.mkdir(path)
        for f in files:
            open(os.path.join(path, f), "w").close()
        return path

    def test_front_folder_and_selection_follow_the_windows(self):
        s = self.session
        names = ["plain", "with space", 'say "hi"', "it's", "a:b", "été", "two\nlines"]
        first = self.folder("first folder", names)
        second = self.folder("second", ["x"])
        # A file left by an earlier run is replaced as soon as Nautilus starts.
        os.makedirs(os.path.dirname(s.state_path), mode=0o700)
        with open(s.state_path, "w") as f:
            f.write("/stale\n/stale/file\n")
        self.start_nautilus()

        s.show_items(NAME, [os.path.join(first, "a:b")])
        s.wait_for_state(first, [os.path.join(first, "a:b")])

        (window,) = self.nautilus_windows(1)
        s.focus(window)
        s.key("ctrl+a")
        s.wait_for_state(first, [os.path.join(first, n) for n in names])

        s.show_folders(NAME, [second])
        s.wait_for_state(second, [])
        windows = self.nautilus_windows(2)

        # Back in the first window: its folder again, with the selection it last reported.
        (back,) = [w for w in windows if s.window_name(w) == os.path.basename(first)]
        s.focus(back)
        s.wait_for_state(first, [os.path.join(first, n) for n in names])

        for window in windows:
            s.focus(window)
            s.key("ctrl+w")
        s.wait_for_state("", [])
        self.assertEqual(s.state(), (b"", []))

    def test_quitting_nautilus_says_no_window(self):
        s = self.session
        folder = self.folder("shown", ["f"])
        self.start_nautilus()
        s.show_items(NAME, [os.path.join(folder, "f")])
        s.wait_for_state(folder, [os.path.join(folder, "f")])
        s.run(["nautilus", "-q"], check=False)
        wait_for(lambda: self.nautilus.poll() is not None, "Nautilus to end")
        self.assertEqual(s.state(), (b"", []))
        with open(s.state_path, "rb") as f:
            self.assertEqual(f.read(), b"\n")


if __name__ == "__main__":
    main()
