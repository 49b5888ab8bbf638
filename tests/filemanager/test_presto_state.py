"""The state file's writer shared by every file-manager extension."""

import os
import stat
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "filemanager"))

import presto_state  # noqa: E402


class StateFileTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.folder = os.path.join(self.tmp.name, "Presto")
        self.state = presto_state.StateFile(self.folder)

    def tearDown(self):
        self.tmp.cleanup()

    def content(self):
        with open(self.state.path, "rb") as f:
            return f.read()

    def test_writes_front_folder_then_selection_as_file_system_bytes(self):
        names = ["with space", 'say "hi"', "it's", "a:b", "été", "日本語.txt"]
        paths = ["/w/" + n for n in names] + [b"/w/latin1-\xe9"]
        self.assertTrue(self.state.write("/w", paths))
        lines = self.content().split(b"\n")
        self.assertEqual(lines[0], b"/w")
        self.assertEqual(lines[1:-1], [os.fsencode(p) for p in paths])
        self.assertEqual(lines[-1], b"")

    def test_leaves_out_what_is_no_path_and_writes_a_line_feed_as_a_uri(self):
        self.state.write("/w", ["/w/two\nlines:%", "/w/kept", "relative", "", b"/w/nul\0"])
        self.assertEqual(self.content(), b"/w\nfile:///w/two%0Alines%3A%25\n/w/kept\n")

    def test_no_folder_means_no_window_and_no_selection(self):
        for front in (None, "", "relative", b"/w/nul\0"):
            self.state.write(front, ["/w/a"])
            self.assertEqual(self.content(), b"\n", repr(front))

    def test_folder_is_private_to_the_user(self):
        self.state.write("/w", [])
        info = os.lstat(self.folder)
        self.assertTrue(stat.S_ISDIR(info.st_mode))
        self.assertEqual(stat.S_IMODE(info.st_mode), 0o700)
        os.chmod(self.folder, 0o755)
        with self.assertRaises(PermissionError):
            self.state.write("/v", [])
        self.assertEqual(stat.S_IMODE(os.lstat(self.folder).st_mode), 0o755)

    def test_refuses_a_folder_that_is_a_link(self):
        elsewhere = os.path.join(self.tmp.name, "elsewhere")
        os.mkdir(elsewhere, 0o700)
        os.symlink(elsewhere, self.folder)
        with self.assertRaises(PermissionError):
            self.state.write("/w", [])
        self.assertEqual(os.listdir(elsewhere), [])

    def test_rewrites_only_changed_content(self):
        self.assertTrue(self.state.write("/w", ["/w/a"]))
        before = os.stat(self.state.path)
        self.assertFalse(self.state.write("/w", ["/w/a"]))
        after = os.stat(self.state.path)
        self.assertEqual((before.st_ino, before.st_mtime_ns), (after.st_ino, after.st_mtime_ns))
        self.assertTrue(self.state.write("/w", ["/w/b"]))
        self.assertNotEqual(os.stat(self.state.path).st_ino, before.st_ino)
        # A file changed behind the writer's back is put right again.
        with open(self.state.path, "wb") as f:
            f.write(b"/elsewhere\n")
        self.assertTrue(self.state.write("/w", ["/w/b"]))
        self.assertEqual(self.content(), b"/w\n/w/b\n")
        self.assertTrue(self.state.write("/w", ["/w/b"], force=True))

    def test_reader_never_sees_a_partial_file(self):
        big = ["/w/" + "x" * 200 + "%05d" % i for i in range(2000)]
        texts = {presto_state.state_text("/w", big), presto_state.state_text("/v", ["/v/a"])}
        self.state.write("/v", ["/v/a"])
        stop = threading.Event()
        seen = []

        def read():
            while not stop.is_set():
                with open(self.state.path, "rb") as f:
                    seen.append(f.read())

        reader = threading.Thread(target=read)
        reader.start()
        try:
            for _ in range(40):
                self.state.write("/w", big)
                self.state.write("/v", ["/v/a"])
        finally:
            stop.set()
            reader.join()
        self.assertTrue(seen)
        self.assertEqual({len(t) for t in seen} - {len(t) for t in texts}, set())
        self.assertTrue(all(t in texts for t in seen))
        leftovers = [n for n in os.listdir(self.folder) if n != presto_state.STATE_NAME]
        self.assertEqual(leftovers, [])


class LocationTest(unittest.TestCase):
    def test_runtime_folder(self):
        self.assertEqual(
            presto_state.runtime_folder({"XDG_RUNTIME_DIR": "/run/user/7"}), "/run/user/7/Presto"
        )
        fallback = "/tmp/Presto-%d" % os.getuid()
        self.assertEqual(presto_state.runtime_folder({}), fallback)
        self.assertEqual(presto_state.runtime_folder({"XDG_RUNTIME_DIR": "rel"}), fallback)
        # The daemon follows TMPDIR for its fallback; the writer must name the same folder.
        with tempfile.TemporaryDirectory() as tmp:
            self.assertEqual(presto_state.runtime_folder({"TMPDIR": tmp}),
                             os.path.join(tmp, "Presto-%d" % os.getuid()))

    @unittest.skipIf(presto_state.Gio is None, "PyGObject (python3-gi) is not installed")
    def test_only_local_files_have_paths(self):
        self.assertEqual(presto_state.uri_to_path("file:///w/a%20b%3A%C3%A9"), "/w/a b:é")
        for uri in (
            "trash:///a",
            "smb://host/share/a",
            "sftp://host/a",
            "x-nautilus-search://0/",
            "recent:///",
            "",
            None,
        ):
            self.assertIsNone(presto_state.uri_to_path(uri), uri)


if __name__ == "__main__":
    unittest.main(verbosity=2)
