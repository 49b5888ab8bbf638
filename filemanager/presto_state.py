"""The file-manager state file that Presto.daemon reads.

Line 1 holds the folder of the front window (empty when no window is open), every further line
one selected path. Paths are the file system's bytes; a path with a line feed cannot be told
apart from two lines and is left out, as is anything that is not a local file.

The file is replaced atomically (a temporary file in the same folder, then a rename), so a reader
sees the old or the new content, never a part, and it is written only when the content changes.
"""

import os
import stat
import tempfile

try:
    from gi.repository import Gio
except ImportError:  # the format itself needs no GIO; only uri_to_path() does
    Gio = None

STATE_NAME = "finder"


def runtime_folder(environ=os.environ):
    """$XDG_RUNTIME_DIR/Presto, or <temporary folder>/Presto-<uid> without an absolute
    XDG_RUNTIME_DIR; the temporary folder is found as the daemon finds it (TMPDIR, TMP, TEMP,
    TEMPDIR, else /tmp), so both always name the same file."""
    runtime = environ.get("XDG_RUNTIME_DIR", "")
    if runtime.startswith("/"):
        return os.path.join(runtime, "Presto")
    tmp = "/tmp"
    for name in ("TMPDIR", "TMP", "TEMP", "TEMPDIR"):
        value = environ.get(name, "")
        if value and os.path.isdir(value):
            tmp = value
            break
    return os.path.join(tmp, "Presto-%d" % os.getuid())


def uri_to_path(uri):
    """The local path of a file: URI, or None for every other location."""
    if not uri or Gio is None or not uri.startswith("file:"):
        return None
    return Gio.File.new_for_uri(uri).get_path()


def _as_bytes(path):
    if path is None:
        return None
    return path if isinstance(path, bytes) else os.fsencode(path)


def _line(path):
    """The path as one line's bytes, or None when it cannot stand on a line of its own."""
    path = _as_bytes(path)
    if not path or not path.startswith(b"/") or b"\n" in path or b"\0" in path:
        return None
    return path


def state_text(front_folder, selection):
    """The file's content: the front folder (None for no window), then the selected paths."""
    front = _line(front_folder)
    if front is None:
        # Without a folder the daemon treats the state as "no window": a selection would
        # then belong to nothing.
        return b"\n"
    lines = [front]
    for path in selection:
        line = _line(path)
        if line is not None:
            lines.append(line)
    return b"\n".join(lines) + b"\n"


def _own_private_folder(folder):
    """Creates the folder 0700, or checks that an existing one is the user's own real folder."""
    try:
        os.mkdir(folder, 0o700)
    except FileExistsError:
        pass
    info = os.lstat(folder)
    if not stat.S_ISDIR(info.st_mode) or info.st_uid != os.getuid():
        raise PermissionError("%s is not a folder of this user" % folder)
    # Another user could have put files into a wider folder before it was ours to tighten:
    # refused, as the daemon refuses it.
    if stat.S_IMODE(info.st_mode) != 0o700:
        raise PermissionError("%s is open to other users (mode %o)" % (folder, stat.S_IMODE(info.st_mode)))


class StateFile:
    """Writes the state file; the last content is compared with what is on disk."""

    def __init__(self, folder=None):
        self.folder = folder or runtime_folder()
        self.path = os.path.join(self.folder, STATE_NAME)

    def _current(self):
        try:
            with open(self.path, "rb") as f:
                return f.read()
        except OSError:
            return None

    def write(self, front_folder, selection=(), force=False):
        """Records the state; returns True when the file was replaced."""
        text = state_text(front_folder, selection)
        if not force and self._current() == text:
            return False
        _own_private_folder(self.folder)
        fd, temporary = tempfile.mkstemp(prefix=".finder-", dir=self.folder)
        try:
            with os.fdopen(fd, "wb") as f:
                f.write(text)
            os.replace(temporary, self.path)
        except BaseException:
            try:
                os.unlink(temporary)
            except OSError:
                pass
            raise
        return True

    def write_no_window(self):
        return self.write(None, ())
