"""A throw-away desktop for the file-manager tests: a private Xvfb display, a private D-Bus session
bus and temporary HOME and XDG folders, with Presto's extension installed for one file manager."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "support"))
from leftovers import end_leftovers_when_gone  # noqa: E402
import waiting  # noqa: E402

EXTENSIONS = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", "..", "filemanager"))

# A ceiling, never a pause: every wait returns as soon as its condition holds.
CEILING = float(os.environ.get("PRESTO_FM_TEST_CEILING", "90"))


def require(programs, files=()):
    """Skips the calling test class unless every program and file is there."""
    missing = [p for p in programs if shutil.which(p) is None]
    missing += [f for f in files if not os.path.exists(f)]
    if missing:
        raise unittest.SkipTest("not installed: %s (scripts/test installs it)" % ", ".join(missing))


def wait_for(condition, what, ceiling=CEILING):
    return waiting.wait_for(condition, what, ceiling, 0.02)


class DesktopSession:
    def __init__(self, extension_folder, extension_files, runtime_dir=None):
        """runtime_dir: an XDG_RUNTIME_DIR to share with programs outside the session."""
        self.tmp = tempfile.TemporaryDirectory(prefix="presto-fm-")
        root = self.tmp.name
        self.processes = []
        self.env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER"):
            self.env.pop(name, None)
        for name, sub in (
            ("HOME", "home"),
            ("XDG_DATA_HOME", "data"),
            ("XDG_CONFIG_HOME", "config"),
            ("XDG_CACHE_HOME", "cache"),
            ("XDG_STATE_HOME", "state"),
            ("XDG_RUNTIME_DIR", "runtime"),
        ):
            path = os.path.join(root, sub)
            os.makedirs(path, mode=0o700)
            self.env[name] = path
        self.env.update(
            GSETTINGS_BACKEND="memory",
            GDK_BACKEND="x11",
            NO_AT_BRIDGE="1",
            GTK_A11Y="none",
            LANG="C.UTF-8",
            LC_ALL="C.UTF-8",
            # The gvfs daemons on a private bus can leave a folder "Loading…" for good; local
            # files need none of them.
            GIO_USE_VFS="local",
            # Software OpenGL on Xvfb can take a whole frame to draw one frame on a busy machine,
            # and GTK 4 then never reaches the idle work that finishes loading a folder.
            GSK_RENDERER="cairo",
        )
        if runtime_dir:
            self.env["XDG_RUNTIME_DIR"] = runtime_dir
        self.state_path = os.path.join(self.env["XDG_RUNTIME_DIR"], "Presto", "finder")
        self.work = os.path.join(root, "work")
        os.mkdir(self.work)

        target = os.path.join(self.env["XDG_DATA_HOME"], extension_folder)
        os.makedirs(target)
        for name in extension_files + ["presto_state.py"]:
            shutil.copy(os.path.join(EXTENSIONS, name), target)

        try:
            self._start_display()
            self._start_bus()
        except BaseException:
            self.close()
            raise

    def _start_display(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten",
             "tcp", "-noreset"],
            pass_fds=(write_end,),
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            start_new_session=True,
        )
        self.processes.append(xvfb)
        os.close(write_end)
        with os.fdopen(read_end) as displayfd:
            number = displayfd.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def _start_bus(self):
        bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL,
            env=self.env,
            start_new_session=True,
            text=True,
        )
        self.processes.append(bus)
        address = bus.stdout.readline().strip()
        bus.stdout.close()
        if not address:
            raise RuntimeError("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.bus = Gio.DBusConnection.new_for_address_sync(
            address,
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None,
            None,
        )

    def start(self, argv, log_name):
        log = open(os.path.join(self.tmp.name, log_name), "wb")
        process = subprocess.Popen(
            argv, env=self.env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True
        )
        log.close()
        self.processes.append(process)
        return process

    def log(self, log_name):
        try:
            with open(os.path.join(self.tmp.name, log_name), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def run(self, argv, check=True):
        return subprocess.run(
            argv, env=self.env, check=check, capture_output=True, text=True, timeout=CEILING
        )

    def close(self):
        # Everything was started in a session of its own: end each group, the bus's services too.
        for process in reversed(self.processes):
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for process in reversed(self.processes):
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        self.bus = None
        self.tmp.cleanup()

    # D-Bus

    def name_owned(self, name):
        reply = self.bus.call_sync(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", GLib.Variant("(s)", (name,)), GLib.VariantType("(b)"),
            Gio.DBusCallFlags.NONE, -1, None)
        return reply.unpack()[0]

    def call(self, name, path, interface, method, args):
        self.bus.call_sync(name, path, interface, method, args, None,
                           Gio.DBusCallFlags.NO_AUTO_START, int(CEILING * 1000), None)

    def show_items(self, name, paths):
        uris = [Gio.File.new_for_path(p).get_uri() for p in paths]
        self.call(name, "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
                  "ShowItems", GLib.Variant("(ass)", (uris, "")))

    def show_folders(self, name, paths):
        uris = [Gio.File.new_for_path(p).get_uri() for p in paths]
        self.call(name, "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
                  "ShowFolders", GLib.Variant("(ass)", (uris, "")))

    # X (xdotool sends keys through XTEST)

    def windows(self, window_class):
        result = self.run(["xdotool", "search", "--onlyvisible", "--class", window_class],
                          check=False)
        return [w for w in result.stdout.split() if w]

    def window_name(self, window):
        return self.run(["xdotool", "getwindowname", window], check=False).stdout.strip()

    def focus(self, window):
        self.run(["xdotool", "windowfocus", "--sync", window], check=False)

    def key(self, *keys):
        self.run(["xdotool", "key", "--clearmodifiers"] + list(keys))

    # The state file

    def state(self):
        """(front folder, [selected paths]) as bytes, or None while there is no file."""
        try:
            with open(self.state_path, "rb") as f:
                text = f.read()
        except FileNotFoundError:
            return None
        # A path with a line feed stands on its line as a file: URI.
        lines = [urllib.parse.unquote_to_bytes(line[len(b"file://"):])
                 if line.startswith(b"file://") else line for line in text.split(b"\n")]
        return lines[0], [line for line in lines[1:] if line]

    def wait_for_state(self, front, selection=None, ceiling=CEILING):
        """Waits until line 1 is front (and the selection, as a set, is selection)."""
        front = os.fsencode(front)
        wanted = None if selection is None else {os.fsencode(p) for p in selection}

        def matches():
            state = self.state()
            return (
                state is not None
                and state[0] == front
                and (wanted is None or set(state[1]) == wanted)
            )

        try:
            wait_for(matches, "state %r %r" % (front, wanted), ceiling)
        except AssertionError:
            raise AssertionError("state file holds %r, wanted %r %r" % (self.state(), front, wanted))


def main():
    """Runs the calling module's tests; exit status 77 (CTest's skip) when all were skipped."""
    end_leftovers_when_gone(os.path.basename(sys.argv[0]))
    program = unittest.main(exit=False, verbosity=2)
    result = program.result
    if result.skipped and result.wasSuccessful() and len(result.skipped) >= result.testsRun:
        for _, reason in result.skipped:
            print("SKIPPED: %s" % reason)
        sys.exit(77)
    sys.exit(0 if result.wasSuccessful() else 1)
