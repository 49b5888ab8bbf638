#!/usr/bin/env python3
"""check-layers on small made-up trees: each upward include is named by file and line, and the
includes the layers allow pass."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check-layers")


def run_check(files):
    with tempfile.TemporaryDirectory(prefix="presto-layers-") as root:
        for path, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
            with open(os.path.join(root, path), "w", encoding="utf-8") as out:
                out.write(text)
        done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True,
                              check=False)
        return done.returncode, done.stdout


class CheckLayersTest(unittest.TestCase):
    def test_upward_includes_are_named_by_file_and_line(self):
        cases = [
            ("common/Locations.cpp", '#include "common/Locations.h"\n#include "daemon/Daemon.h"\n',
             "common/Locations.cpp:2: common may not include daemon/Daemon.h (of daemon)"),
            # Spelled beside the file instead of from the top.
            ("common/Log.cpp", '#include "../config/ui/MainWindow.h"\n',
             "common/Log.cpp:1: common may not include config/ui/MainWindow.h (of config/ui)"),
            # The interfaces see none of their implementations.
            ("platform/Launcher.h", '#pragma once\n  #  include "platform/linux/GioLauncher.h"\n',
             "platform/Launcher.h:2: platform may not include platform/linux/GioLauncher.h "
             "(of platform/linux)"),
            ("config/model/HotKey.cpp", '#include "config/ui/Cells.h"\n',
             "config/model/HotKey.cpp:1: config/model may not include config/ui/Cells.h "
             "(of config/ui)"),
            ("capture/Agent.cpp", '#include "daemon/Log.h"\n',
             "capture/Agent.cpp:1: capture may not include daemon/Log.h (of daemon)"),
            ("daemon/Daemon.cpp", '#include "config/model/DataStore.h"\n',
             "daemon/Daemon.cpp:1: daemon may not include config/model/DataStore.h "
             "(of config/model)"),
            ("tests/support/TempWorld.cpp", '#include "tests/capture/XHarness.h"\n',
             "tests/support/TempWorld.cpp:1: tests/support may not include "
             "tests/capture/XHarness.h (of tests)"),
        ]
        for path, text, expected in cases:
            with self.subTest(path=path):
                status, output = run_check({path: text})
                self.assertEqual(status, 1, output)
                self.assertIn(expected + "\n", output)

    def test_includes_the_layers_allow_pass(self):
        status, output = run_check({
            "platform/linux/GioLauncher.cpp":
                '#include "platform/linux/GioLauncher.h"\n#include "platform/Launcher.h"\n'
                '#include "common/Locations.h"\n',
            "daemon/main.cpp": '#include "daemon/Daemon.h"\n#include "platform/linux/Gio.h"\n',
            "config/ui/HeldKeyProbe.cpp": '#include "capture/Modifiers.h"\n#include "Local.h"\n',
            "config/installer/ModuleFiles.cpp": '#include "platform/SessionEnvironment.h"\n',
            "tests/config/ui/GrabTest.cpp":
                '#include "tests/capture/XHarness.h"\n#include "tests/support/TempWorld.h"\n'
                '#include "daemon/Daemon.h"\n',
            # Commented out, system headers and generated ones outside every layer.
            "common/Plist.cpp": '// #include "daemon/Daemon.h"\n#include <daemon/Daemon.h>\n'
                                '#include "keystate-client-protocol.h"\n',
            "filemanager/notes.h": '#include "config/ui/Cells.h"\n',
        })
        self.assertEqual(status, 0, output)

    def test_every_fault_of_a_tree_is_reported(self):
        status, output = run_check({
            "common/A.cpp": '#include "daemon/A.h"\n#include "assist/B.h"\n',
            "assist/B.cpp": '#include "config/ui/C.h"\n',
        })
        self.assertEqual(status, 1, output)
        self.assertIn("common/A.cpp:1:", output)
        self.assertIn("common/A.cpp:2:", output)
        self.assertIn("assist/B.cpp:1:", output)
        self.assertIn("3 include(s)", output)


if __name__ == "__main__":
    unittest.main()
