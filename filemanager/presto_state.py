"""The file-manager state file that Presto.daemon reads.

Line 1 holds the folder of the front window (empty when no window is open), every further line
one selected path. Paths are the file system's bytes; a path with a line feed in it is written
as a file: URI instead. Anything that is not a local file is left out.

The file is replaced atomically (a temporary file in the same folder, then a rename), so a reader
sees the old or the new content, never a part, and it is written only when the content changes.
"""

import os
import stat
import tempfile
import urllib.parse

try:
    from gi.repository import Gio
except ImportError:  # the format itself needs no GIO; only uri_to_path() does
    Gio = None

# The build reads this line: the daemon looks for the state file by the same name.
STATE_NAME = "finder"


def temporary_folder(environ=os.environ):
    """$TMPDIR when it is an absolute path that names a folder (a link to one counts), without
    final slashes; else /tmp. The daemon follows the same rule (Locations.cpp), so both name the
    same state file."""
    folder = environ.get("TMPDIR", "")
    if len(folder) > 1:
        folder = folder.rstrip("/") or "/"
    if folder.startswith("/") and os.path.isdir(folder):
        return folder
    return "/tmp"


def runtime_folder(environ=os.environ):
    """$XDG_RUNTIME_DIR/Presto, or <temporary folder>/Presto-<uid> without an absolute
    XDG_RUNTIME_DIR."""
    runtime = environ.get("XDG_RUNTIME_DIR", "")
    if runtime.startswith("/"):
        return os.path.join(runtime, "Presto")
    return os.path.join(temporary_folder(environ), "Presto-%d" % os.getuid())


def uri_to_path(uri):
    """The local path of a file: URI, or None for every other location."""
    if not uri or Gio is None or not uri.startswith("file:"):
        return None
    return Gio.File.new_for_uri(uri).get_path()


def local_paths(infos):
    """The local paths of the file managers' file-info objects (Nautilus, Caja, Nemo and Thunar
    share these methods); every other location is left out."""
    paths = []
    for info in infos:
        if info.get_uri_scheme() != "file":
            continue
        path = info.get_location().get_path()
        if path:
            paths.append(path)
    return paths


def _as_bytes(path):
    if path is None:
        return None
    return path if isinstance(path, bytes) else os.fsencode(path)


def _line(path):
    """The path as one line's bytes, or None when it cannot be a line. A path with a line feed
    goes as a file: URI, which the daemon reads back; every other path as its own bytes."""
    path = _as_bytes(path)
    if not path or not path.startswith(b"/") or b"\0" in path:
        return None
    if b"\n" in path:
        return b"file://" + urllib.parse.quote_from_bytes(path, safe="/").encode("ascii")
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
