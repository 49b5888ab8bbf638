"""A booted Debian 12 for system tests of the package: systemd-nspawn -b on a minbase root with
systemd, a user manager for a test user (loginctl enable-linger) and stand-ins for logins.

The root is made once with debootstrap and kept in a cache folder; each boot runs on a throw-away
overlay of it (--volatile=overlay), so every case starts from the same clean system. The host's
PID 1 need not be systemd: the container is neither registered nor given a unit of its own, and
commands reach it through nsenter. Only the container's own init is ever told to stop."""

import os
import re
import select
import shlex
import shutil
import signal
import subprocess
import tempfile
import time

import waiting

SUITE = "bookworm"
MIRROR = os.environ.get("PRESTO_DEBIAN_MIRROR", "http://deb.debian.org/debian")
BASE_PACKAGES = "systemd,dbus,dbus-user-session,libpam-systemd,polkitd"
# An X server for the logins (the key-capture agent and the tray need a display), ps and pgrep.
TEST_PACKAGES = "xvfb, procps"
USER, UID = "presto-test", 1000
HOME = "/home/" + USER
RUNTIME = "/run/user/%d" % UID
PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
# A ceiling, never a pause: every wait returns as soon as its condition holds.
CEILING = float(os.environ.get("PRESTO_BOOTED_CEILING", "120"))
LOGIN_TARGET = "presto-test-login.target"
UNITS = "com.nimbo.Presto.daemon.service com.nimbo.Presto.keys.service"
SESSION_VARIABLES = "DISPLAY WAYLAND_DISPLAY XAUTHORITY XDG_SESSION_TYPE XDG_CURRENT_DESKTOP"


class Unavailable(Exception):
    """No Debian can be booted here; the message says why."""


def unavailable():
    """Why no Debian can be booted on this host, or None."""
    if os.geteuid() != 0:
        return "needs root (debootstrap, systemd-nspawn, nsenter)"
    missing = [t for t in ("debootstrap", "systemd-nspawn", "nsenter", "dpkg-deb")
               if shutil.which(t) is None]
    if missing:
        return "not installed: %s (scripts/install-deps test installs them)" % ", ".join(missing)
    return None


def wait_for(condition, what, ceiling=CEILING):
    return waiting.wait_for(condition, what, ceiling)


class Transcript:
    """What was done in the machine and what it answered, on standard output and in a file."""

    def __init__(self, path=None):
        self.file = open(path, "w", encoding="utf-8") if path else None

    def write(self, text):
        print(text, flush=True)
        if self.file:
            self.file.write(text + "\n")
            self.file.flush()


def prepare_root(cache, dependencies, transcript):
    """The root folder in `cache`: made by debootstrap when missing, with the test user, and with
    what each of `dependencies` (Depends lines) needs installed; packages are added, never
    removed."""
    root = os.path.join(cache, "root")
    satisfied = os.path.join(root, "var/lib/presto-test/satisfied")

    def run(*command):
        # Not booted: apt and useradd need only the folder.
        result = subprocess.run(["systemd-nspawn", "-q", "-D", root, "--register=no",
                                 "--keep-unit", "--setenv=DEBIAN_FRONTEND=noninteractive",
                                 *command], stdin=subprocess.DEVNULL, capture_output=True,
                                text=True)
        if result.returncode != 0:
            raise Unavailable("preparing the root failed: %s: %s" % (
                " ".join(command), (result.stdout + result.stderr)[-2000:]))

    if not os.path.exists(os.path.dirname(satisfied)):
        fresh = root + ".new"
        shutil.rmtree(fresh, ignore_errors=True)
        os.makedirs(cache, exist_ok=True)
        transcript.write("# debootstrap of %s into %s (kept for later runs)" % (SUITE, root))
        if subprocess.run(["debootstrap", "--variant=minbase", "--include=" + BASE_PACKAGES,
                           SUITE, fresh, MIRROR], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL).returncode != 0:
            raise Unavailable("debootstrap of %s from %s failed" % (SUITE, MIRROR))
        shutil.rmtree(root, ignore_errors=True)
        os.rename(fresh, root)
        run("useradd", "--create-home", "--uid", str(UID), "--shell", "/bin/sh", USER)
        os.makedirs(os.path.dirname(satisfied))
    done = open(satisfied).read().splitlines() if os.path.exists(satisfied) else []
    wanted = [d for d in list(dependencies) + [TEST_PACKAGES] if d not in done]
    if wanted:
        run("apt-get", "-q", "update")
        for line in wanted:
            run("apt-get", "-q", "-y", "--no-install-recommends", "satisfy", line)
            with open(satisfied, "a") as f:
                f.write(line + "\n")
        run("apt-get", "clean")
    return root


class Machine:
    """One boot of `root` on a throw-away overlay, with the test user's manager running (linger).
    The host folder `shared` is /srv/presto inside, read-only."""

    def __init__(self, root, shared, transcript):
        self.root, self.shared, self.transcript = root, shared, transcript
        self.process = self.leader = None
        self.autostart = "not run"

    def __enter__(self):
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            ["systemd-nspawn", "-b", "-q", "-D", self.root, "--volatile=overlay",
             "--register=no", "--keep-unit", "--console=pipe", "-M", "presto-%d" % os.getpid(),
             # X servers listen on abstract sockets too: the host's own :1 or :2 would clash.
             "--private-network",
             "--bind-ro=%s:/srv/presto" % self.shared],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
            start_new_session=True)
        try:
            self.leader = wait_for(self._find_leader, "the container's init", 60)

            def booted():
                # "offline" until its init runs, "starting" while it boots.
                state = self.run("systemctl is-system-running --wait", check=False,
                                 quiet=True).stdout.strip()
                return state if state in ("running", "degraded") else None
            self.transcript.write("# booted Debian %s in systemd-nspawn: system %s"
                                  % (SUITE, wait_for(booted, "the boot to finish")))
        except AssertionError as error:
            self.log.seek(0)
            log = self.log.read().decode(errors="replace")[-2000:]
            self.__exit__()
            raise Unavailable("systemd-nspawn could not boot the root: %s; %s" % (error, log))
        self._start_user_manager()
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            # systemd-nspawn hands this on to the container's init as its halt request.
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(CEILING)
            except subprocess.TimeoutExpired:
                if self.leader:
                    os.kill(self.leader, signal.SIGKILL)
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.log.close()

    def _find_leader(self):
        if self.process.poll() is not None:
            raise AssertionError("systemd-nspawn ended (status %d)" % self.process.returncode)
        for entry in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/status" % entry) as f:
                    status = f.read()
            except OSError:
                continue
            parent = re.search(r"^PPid:\s+(\d+)", status, re.M)
            nspid = re.search(r"^NSpid:\s+(.*)$", status, re.M)
            # PID 1 of a namespace of its own, our child: never the host's init.
            if (parent and int(parent.group(1)) == self.process.pid and nspid
                    and nspid.group(1).split()[1:] == ["1"]):
                return int(entry)
        return None

    def _argv(self, command, user, assignments):
        argv = ["nsenter", "-t", str(self.leader), "-a", "-r", "-w",
                "env", "-i", "PATH=" + PATH, "LANG=C.UTF-8"]
        if user:
            argv += ["runuser", "-u", USER, "--", "env", "HOME=" + HOME, "USER=" + USER,
                     "XDG_RUNTIME_DIR=" + RUNTIME,
                     "DBUS_SESSION_BUS_ADDRESS=unix:path=%s/bus" % RUNTIME]
        return argv + assignments + ["sh", "-c", command]

    def run(self, command, user=False, env=None, check=True, quiet=False):
        """Runs the shell command in the machine, as root or as the test user with the user's
        runtime folder and bus; `env` adds variables."""
        assignments = ["%s=%s" % item for item in (env or {}).items()]
        result = subprocess.run(self._argv(command, user, assignments),
                                stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if not quiet:
            self.transcript.write("%s %s" % ("%s$" % USER if user else "root#",
                                             " ".join(assignments + [command])))
            for line in (result.stdout + result.stderr).splitlines():
                # dpkg's progress, a line per step when it has no terminal.
                if line.strip() and not line.startswith("(Reading database"):
                    self.transcript.write("    " + line)
        if check and result.returncode != 0:
            raise AssertionError("%r failed with status %d: %s"
                                 % (command, result.returncode, result.stderr.strip()))
        return result

    def answer_at_terminal(self, command, prompt, reply):
        """Runs the command as the test user on a terminal of its own (script) and types `reply`
        once `prompt` shows: what the terminal showed."""
        self.transcript.write("%s$ %s" % (USER, command))
        process = subprocess.Popen(
            self._argv("script -qec %s /dev/null" % shlex.quote(command), True, []),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        shown = b""
        try:
            while prompt.encode() not in shown:
                chunk = os.read(process.stdout.fileno(), 4096)
                if not chunk:
                    break
                shown += chunk
            asked = len(shown)
            # A password prompt turns echo off after it shows, discarding what was typed before:
            # typed again until the program answers.
            deadline = time.monotonic() + CEILING
            answered = lambda: shown[asked:].replace(reply.encode(), b"").strip()  # noqa: E731
            while prompt.encode() in shown and not answered():
                if time.monotonic() > deadline:
                    raise AssertionError("no answer to %r typed at %r" % (reply, prompt))
                process.stdin.write(reply.encode() + b"\n")
                process.stdin.flush()
                if select.select([process.stdout], [], [], 1.0)[0]:
                    shown += os.read(process.stdout.fileno(), 4096)
            shown += process.stdout.read()
        except BaseException:
            process.kill()
            raise
        finally:
            process.stdin.close()
            process.wait()
        text = re.sub(r"\x1b\[[0-9;]*m|\r", "", shown.decode(errors="replace"))
        for line in text.splitlines():
            self.transcript.write("    " + line)
        return text

    def user(self, command, **kwargs):
        return self.run(command, user=True, **kwargs)

    def succeeds(self, command, user=True):
        return self.run(command, user=user, check=False, quiet=True).returncode == 0

    def write_file(self, path, text, user=True, mode="0644"):
        self.run("mkdir -p %s && cat > %s <<'PRESTO_EOF'\n%sPRESTO_EOF\nchmod %s %s" % (
            shlex.quote(os.path.dirname(path)), shlex.quote(path), text, mode,
            shlex.quote(path)), user=user, quiet=True)

    def install(self, package):
        """Installs /srv/presto/<package>.deb with apt, its dependencies being in the root."""
        self.run("apt-get install -y -qq --no-install-recommends /srv/presto/%s.deb" % package)
        self.settle()

    def remove(self):
        self.run("apt-get remove -y -qq presto")
        self.settle()

    def _start_user_manager(self):
        self.run("loginctl enable-linger " + USER)
        wait_for(lambda: self.succeeds("systemctl --user is-system-running"), "the user manager")
        self.write_file(HOME + "/.config/systemd/user/" + LOGIN_TARGET,
                        "[Unit]\nDescription=Stand-in for a desktop session that reaches "
                        "graphical-session.target\nBindsTo=graphical-session.target\n"
                        "Before=graphical-session.target\n")
        self.user("systemctl --user daemon-reload", quiet=True)

    def start_display(self, number):
        if not self.succeeds("systemctl --user -q is-active presto-test-display-%d" % number):
            self.user("systemd-run --user -q --collect --unit=presto-test-display-%d "
                      "/usr/bin/Xvfb :%d -nolisten tcp" % (number, number), quiet=True)
        try:
            wait_for(lambda: self.succeeds("test -S /tmp/.X11-unix/X%d" % number),
                     "display :%d" % number)
        except AssertionError:
            self.user("journalctl --user --no-pager -n 20 -u presto-test-display-%d" % number,
                      check=False)
            raise

    def stop_display(self, number):
        self.user("systemctl --user stop presto-test-display-%d" % number, check=False,
                  quiet=True)
        self.settle()

    def settle(self):
        """Waits until the user manager has no job left and neither unit is on its way anywhere
        (a start, a stop, a restart after a failure)."""
        moving = re.compile(r"^(start|stop|auto-restart|activating|final)")

        def idle():
            jobs = self.user("systemctl --user list-jobs --no-legend", check=False, quiet=True)
            states = self.user("systemctl --user show -p SubState --value " + UNITS,
                               check=False, quiet=True).stdout.split()
            return not jobs.stdout.strip() and not any(map(moving.match, states))
        wait_for(idle, "the user manager to settle")

    @staticmethod
    def session(number, desktop, xauthority):
        env = {"DISPLAY": ":%d" % number, "XDG_SESSION_TYPE": "x11",
               "XDG_CURRENT_DESKTOP": desktop}
        if xauthority:
            env["XAUTHORITY"] = "%s/.Xauthority-%d" % (HOME, number)
        return env

    def systemd_login(self, number, desktop="GNOME", xauthority=True):
        """A desktop whose session reaches graphical-session.target (GNOME, KDE): it hands its
        environment to the manager, then starts its target; it skips the autostart entry."""
        self.start_display(number)
        self.user("systemctl --user unset-environment %s && systemctl --user set-environment %s"
                  % (SESSION_VARIABLES, " ".join("%s=%s" % item for item in
                                                 self.session(number, desktop,
                                                              xauthority).items())))
        self.user("systemctl --user start " + LOGIN_TARGET)
        self.settle()

    def systemd_logout(self, number):
        self.user("systemctl --user stop " + LOGIN_TARGET)
        self.stop_display(number)

    def autostart_login(self, number, desktop="XFCE", xauthority=False):
        """A desktop without systemd's session (Xfce, MATE, Cinnamon): it runs the autostart
        entry's command in its own environment, unless TryExec names no program."""
        self.start_display(number)
        text = self.run("cat /etc/xdg/autostart/com.nimbo.Presto.desktop", check=False,
                        quiet=True).stdout
        fields = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
        if not text:
            self.autostart = "no entry"
        elif "TryExec" in fields and not self.succeeds("test -x " + fields["TryExec"]):
            self.autostart = "skipped: TryExec %s is missing" % fields["TryExec"]
        else:
            # No field codes or escapes in the entry: the shell's word splitting is the desktop's.
            self.user(" ".join(map(shlex.quote, shlex.split(fields["Exec"]))),
                      env=self.session(number, desktop, xauthority), check=False)
            self.autostart = "ran"
        self.transcript.write("# the autostart stand-in: %s" % self.autostart)
        self.settle()
