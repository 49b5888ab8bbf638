"""filemanager/install-user: the per-user activation that scripts/run performs."""

import filecmp
import os
import shutil
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.realpath(__file__))
EXTENSIONS = os.path.join(HERE, "..", "..", "filemanager")

# file manager, its binding packages, extension folder, files
MANAGERS = [
    ("nautilus", ["python3-nautilus"], "nautilus-python", ["presto_nautilus.py", "presto_state.py"]),
    ("caja", ["python3-caja"], "caja-python",
     ["presto_caja.py", "presto_windows.py", "presto_state.py"]),
    ("nemo", ["nemo-python"], "nemo-python",
     ["presto_nemo.py", "presto_windows.py", "presto_state.py"]),
    ("thunar", ["thunarx-python", "gir1.2-thunarx-3.0"], "thunarx-python",
     ["presto_thunar.py", "presto_windows.py", "presto_state.py"]),
]


def installed(package):
    result = subprocess.run(["dpkg-query", "-W", "-f=${Status}", package],
                            capture_output=True, text=True)
    return result.stdout == "install ok installed"


class InstallUserTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.data = os.path.join(self.tmp.name, "data")
        self.env = dict(os.environ, HOME=os.path.join(self.tmp.name, "home"),
                        XDG_DATA_HOME=self.data)

    def install(self):
        return subprocess.run([os.path.join(EXTENSIONS, "install-user")], env=self.env,
                              capture_output=True, text=True, check=True).stdout

    def test_each_installed_file_manager_gets_its_extension_once(self):
        ready = [m for m in MANAGERS
                 if shutil.which(m[0]) and all(installed(p) for p in m[1])]
        if not ready:
            self.skipTest("no file manager with its Python binding is installed")
        first = self.install()
        for program, _, folder, files in ready:
            target = os.path.join(self.data, folder, "extensions")
            self.assertEqual(sorted(os.listdir(target)), sorted(files))
            for name in files:
                self.assertTrue(filecmp.cmp(os.path.join(EXTENSIONS, name),
                                            os.path.join(target, name), shallow=False))
            self.assertIn("restart %s once (%s -q)" % (program, program), first)
        # Nothing changed, nothing to restart.
        self.assertNotIn("restart", self.install())

        # An older copy is replaced, and only that file manager is to be restarted.
        program, _, folder, files = ready[0]
        with open(os.path.join(self.data, folder, "extensions", files[0]), "a") as f:
            f.write("# old\n")
        again = self.install()
        self.assertIn("restart %s once" % program, again)
        self.assertEqual(again.count("restart"), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
