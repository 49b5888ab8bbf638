"""The Caja, Nemo and Thunar extensions in the real file managers on a private display and bus."""

import os
import sysconfig
import unittest

from desktop_session import DesktopSession, main, require, wait_for

LIB = "/usr/lib/%s/" % sysconfig.get_config_var("MULTIARCH")
EXTENSION_FILES = ["presto_windows.py"]


class FileManagerCase:
    """One file manager: its program, its binding and where it loads the extension from."""

    program = binding = folder = extension = window_class = None
    argv = ()

    @classmethod
    def setUpClass(cls):
        require([cls.program, "Xvfb", "dbus-daemon", "xdotool"], [cls.binding])

    def setUp(self):
        self.session = DesktopSession(self.folder, [self.extension] + EXTENSION_FILES)
        self.addCleanup(self.session.close)

    def make_folder(self, name, files):
        path = os.path.join(self.session.work, name)
        os.mkdir(path)
        for f in files:
            open(os.path.join(path, f), "w").close()
        return path

    def open_folder(self, path):
        return self.session.start([self.program] + list(self.argv) + [path], "fm.log")

    def wait_for_state(self, front, selection=None):
        try:
            self.session.wait_for_state(front, selection)
        except AssertionError as error:
            raise AssertionError("%s\n%s" % (error, self.session.log("fm.log")))

    def windows(self, count):
        s = self.session
        return wait_for(lambda: len(s.windows(self.window_class)) == count
                        and s.windows(self.window_class), "%d windows" % count)

    def test_front_window_folder_and_closing(self):
        s = self.session
        first = self.make_folder("first folder", ["a b", "c:d"])
        self.open_folder(first)
        self.wait_for_state(first, [])
        (window,) = self.windows(1)
        self.check_selection(window, first, ["a b", "c:d"])

        second = self.make_folder("ètè", ["x"])
        self.open_folder(second)
        self.wait_for_state(second)
        for window in self.windows(2):
            s.focus(window)
            s.key("ctrl+w")
        self.wait_for_state("", [])

    def test_quitting_says_no_window(self):
        folder = self.make_folder("shown", ["f"])
        process = self.open_folder(folder)
        self.wait_for_state(folder, [])
        self.session.run([self.program, "-q"], check=False)
        wait_for(lambda: process.poll() is not None, "%s to end" % self.program)
        self.assertEqual(self.session.state(), (b"", []))

    # Keys that select everything and have the file manager tell the extension, and those that
    # undo what they opened; none where it reports no selection at once.
    select_keys = after_select_keys = ()

    def check_selection(self, window, folder, names):
        """Selects everything; where the file manager reports it at once, it is in the file."""
        if not self.select_keys:
            return
        # The window names the folder as it starts listing it, and Ctrl+A selects only what is
        # listed by then: select again until the whole listing is reported (or the ceiling is
        # reached).
        s = self.session
        wanted = [os.path.join(folder, n) for n in names]

        def selected():
            s.focus(window)
            for key in self.select_keys:
                s.key(key)
            try:
                s.wait_for_state(folder, wanted, ceiling=1)
            except AssertionError:
                return False
            finally:
                for key in self.after_select_keys:
                    s.key(key)
            return True

        try:
            wait_for(selected, "%s to select %s" % ("+".join(self.select_keys), names))
        except AssertionError as error:
            raise AssertionError("%s; state file holds %r\n%s"
                                 % (error, s.state(), s.log("fm.log"))) from None


class CajaTest(FileManagerCase, unittest.TestCase):
    program = "caja"
    argv = ["--no-desktop"]
    binding = LIB + "caja/extensions-2.0/libcaja-python.so"
    folder = "caja-python/extensions"
    extension = "presto_caja.py"
    window_class = "caja"
    select_keys = ("ctrl+a",)


class NemoTest(FileManagerCase, unittest.TestCase):
    program = "nemo"
    binding = LIB + "nemo/extensions-3.0/libnemo-python.so"
    folder = "nemo-python/extensions"
    extension = "presto_nemo.py"
    window_class = "nemo"


class ThunarTest(FileManagerCase, unittest.TestCase):
    program = "thunar"
    binding = LIB + "thunarx-3/thunarx-python.so"
    folder = "thunarx-python/extensions"
    extension = "presto_thunar.py"
    window_class = "thunar"
    # Thunar tells the extension the selection when it builds the context menu.
    select_keys = ("ctrl+a", "shift+F10")
    after_select_keys = ("Escape",)


if __name__ == "__main__":
    main()
