"""The Debian package on a booted Debian 12, as a user of the machine meets it: install, logins,
a hot key, upgrade and removal. Each case boots a clean machine and takes its steps in order;
after a step, each named observation must come to the value the table gives it.

    test_booted_debian.py --deb PACKAGE_OR_FOLDER [--earlier PACKAGE] [--cache DIR]
                          [--transcript FILE] [--only TEXT]

--earlier: a package before this one, for the upgrade from it. Exit status 77 (CTest's skip)
when no Debian can be booted here.

A new case is a row of CASES; a step is (label, function of the booted_debian.Machine), an
observation a named function of it in OBSERVATIONS. Files a case needs inside go to the shared
folder (/srv/presto there) in share_packages."""

import argparse
import base64
import glob
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import booted_debian as booted  # noqa: E402

PROGRAMS = ("Presto.daemon", "PrestoAssist", "PrestoKeys")
ALL = " ".join(PROGRAMS)
DAEMON_UNIT = "com.nimbo.Presto.daemon.service"
ENABLED = ", ".join("%s enabled" % unit for unit in booted.UNITS.split())
CURRENT = ", ".join("%s current" % name for name in PROGRAMS)
REPORTER = booted.HOME + "/bin/report-display"
REPORT = booted.HOME + "/launched"
# How long an observation may take to come to its value once the manager settled.
PROBE_CEILING = float(os.environ.get("PRESTO_BOOTED_PROBE_CEILING", "30"))


def add_hot_key(m):
    """Control-1 for a program that writes down its display: the data file holds the 8-byte
    header, the 24-byte record and the program's path as its 80-byte file reference."""
    m.write_file(REPORTER, "#!/bin/sh\nfor name in %s; do\n    eval \"value=\\${$name-unset}\"\n"
                 "    printf '%%s=%%s ' \"$name\" \"$value\"\ndone > %s.new\nmv %s.new %s\n"
                 % (booted.SESSION_VARIABLES, REPORT, REPORT, REPORT), mode="0755")
    record = struct.pack("<5I4B", 10, 0x00040000, 18, ord("1"), ord("1"), ord("L"), 1, 0, 0)
    data = b"0511Prst" + record + REPORTER.encode().ljust(80, b"\0")
    m.user("mkdir -p ~/.local/share/Presto && echo %s | base64 -d > "
           "~/.local/share/Presto/PrestoData.data" % base64.b64encode(data).decode())


# Two presses of a hot key within its interval (1.0 s by default) are one double press.
PRESS_GAP = 1.5
last_press = [float("-inf")]


def press_hot_key(m):
    m.user("rm -f " + REPORT, quiet=True)
    time.sleep(max(0.0, last_press[0] + PRESS_GAP - time.monotonic()))
    m.user("/opt/Presto/PrestoHotKey 18 0x40000")
    last_press[0] = time.monotonic()
    booted.wait_for(lambda: m.succeeds("test -e " + REPORT), "the launched program's report")


def stop_daemon(m):
    m.user("systemctl --user stop " + DAEMON_UNIT)
    m.settle()


def start_daemon(m):
    m.user("systemctl --user start " + DAEMON_UNIT)
    m.settle()


# Steps: (what a user or an administrator does, how).
def install(package="package"):
    return ("apt-get install the %s" % package, lambda m: m.install(package))


REMOVE = ("apt-get remove presto", lambda m: m.remove())
UPGRADE = ("upgrade to the next version", lambda m: m.install("next"))
HOT_KEY = ("a hot key, Control-1, for a program that reports its display", add_hot_key)
PRESS = ("press the hot key", press_hot_key)
STOP_DAEMON = ("systemctl --user stop the daemon's unit", stop_daemon)
START_DAEMON = ("systemctl --user start the daemon's unit", start_daemon)


def login(number):
    return ("log in on :%d (a session that reaches graphical-session.target)" % number,
            lambda m: m.systemd_login(number))


def logout(number):
    return ("log out of :%d" % number, lambda m: m.systemd_logout(number))


def autostart_login(number, desktop, xauthority):
    return ("log in on :%d (%s, a desktop that runs the autostart entry)" % (number, desktop),
            lambda m: m.autostart_login(number, desktop, xauthority))


def display_ends(number):
    return ("display :%d ends; the user manager stays" % number, lambda m: m.stop_display(number))


def first_pid(name):
    return "$(pgrep -u %s -x %s | head -1)" % (booted.USER, name)


def programs(m):
    """Whether each running program is the installed file or one the package manager replaced."""
    states = []
    for name in PROGRAMS:
        exe = m.user("readlink /proc/%s/exe" % first_pid(name), check=False,
                     quiet=True).stdout.strip()
        if exe:
            states.append("%s %s" % (name, "replaced" if exe.endswith("(deleted)") else "current"))
    return ", ".join(states)


def assistant_cgroup(m):
    """Where the assistant runs once it ran two seconds: the daemon moves what it launches into a
    scope of its own within milliseconds, after the start."""
    pid = first_pid("PrestoAssist")
    age = output("ps -o etimes= -p " + pid)(m).strip()
    if not age or int(age) < 2:
        return "no assistant that ran two seconds"
    cgroup = output("sed -n 's/^0:://p' /proc/%s/cgroup" % pid)(m).strip()
    return re.sub(r"-\d+\.scope$", "-N.scope", cgroup.rsplit("/", 1)[-1])


HELPER = "/opt/Presto/PrestoInstallHelper"


def helper(operation, requests=None):
    """The installer's privileged helper run as root, as an administrator at a terminal would,
    or with the application's requests (--steps) on its standard input."""
    def step(m):
        command = HELPER + " " + operation
        if requests is not None:
            command = "printf '%s' | %s --steps" % ("".join(r + "\\n" for r in requests),
                                                   command)
        result = m.run(command, check=False)
        lines = (result.stdout + result.stderr).splitlines()
        m.answer = "status %d: %s" % (result.returncode, lines[-1] if lines else "")
    return ("the installer's helper asked to %s%s, as root" % (
        operation, " by the steps " + ", ".join(requests) if requests is not None else ""), step)


def agent_prompt(program):
    """A polkit text agent (pkttyagent) for the test user's terminal, and pkexec as the
    application runs it: what the agent asks, and how pkexec ends when the password is wrong."""
    def step(m):
        text = m.answer_at_terminal(
            "f=$(mktemp -u); mkfifo $f; pkttyagent --process $$ --notify-fd 3 3>$f & "
            "read ready <$f; rm $f; pkexec --disable-internal-agent %s </dev/null; "
            "echo \"pkexec ended with $?\"; kill $!" % program, "Password:", "not the password")
        lines = [line.strip() for line in text.splitlines() if line.strip()]
        heading = [i for i, line in enumerate(lines) if line.startswith("==== AUTHENTICATING")]
        m.answer = ("%s: %s; %s" % (lines[heading[0]].strip("= "), lines[heading[0] + 1],
                                    lines[-1]) if heading else "no prompt: " + " / ".join(lines))
    return ("pkexec the helper from a terminal where a polkit text agent runs, a wrong password",
            step)


def no_agent(m):
    """pkexec as the application runs it (its own terminal agent off), where no agent runs."""
    result = m.user("pkexec --disable-internal-agent %s uninstall --steps" % HELPER, check=False)
    m.answer = "status %d: %s" % (result.returncode, result.stderr.strip())


def package_files(m):
    """dpkg's check of the package's installed files against its records."""
    lines = output("dpkg --verify presto", user=False)(m).splitlines()
    missing = sum(line.startswith("missing") for line in lines)
    return "%d missing, %d changed" % (missing, len(lines) - missing) if lines else "clean"


def polkit_action(m):
    fields = dict(line.strip().split(":", 1) for line in output(
        "pkaction --verbose --action-id com.nimbo.Presto.uninstall")(m).splitlines()
        if line.startswith("  ") and ":" in line)
    return "%s: %s" % (fields.get("description", "").strip(), fields.get("message", "").strip())


def output(command, user=True):
    return lambda m: m.run(command, user=user, check=False, quiet=True).stdout


# Observations: each a short text, the same for the same state of the machine.
OBSERVATIONS = {
    "running": lambda m: " ".join(sorted(set(output("ps -u %s -o comm=" % booted.USER)(
        m).split()).intersection(PROGRAMS))),
    "failed units": lambda m: " ".join(line.split()[0] for line in output(
        "systemctl --user --failed --plain --no-legend")(m).splitlines() if line.strip()),
    "unit files": lambda m: ", ".join(" ".join(line.split()[:2]) for line in output(
        "systemctl --user list-unit-files --no-legend --plain 'com.nimbo.Presto*'")(
        m).splitlines()),
    "units in /etc": lambda m: " ".join(output(
        "find /etc/systemd/user -name 'com.nimbo.Presto*' -type f", user=False)(m).split()),
    "assistant's cgroup": assistant_cgroup,
    "programs": programs,
    "autostart entry": lambda m: m.autostart,
    "launched program's display": lambda m: output("cat " + REPORT)(m).strip(),
    "package's files": package_files,
    # What the last step's program answered.
    "answer": lambda m: getattr(m, "answer", "none"),
    "polkit action": polkit_action,
}


def launched(number, desktop, xauthority=None):
    return ("DISPLAY=:%d WAYLAND_DISPLAY=unset XAUTHORITY=%s XDG_SESSION_TYPE=x11 "
            "XDG_CURRENT_DESKTOP=%s" % (number, xauthority or "unset", desktop))


LEFT_ALONE = ("status 4: PrestoInstallHelper: the package presto owns Presto's modules, so "
              "Presto leaves them alone; use the package manager")
UNINSTALL_ACTION = ("Uninstall Presto: Authentication is required to remove Presto's programs "
                    "from /opt/Presto and stop its hot key service for every user")

# The cases: (name, packages they install, [(step, {observation: value after the step})]).
CASES = [
    ("the tray assistant lives and ends with the daemon", ("package",), [
        (install(), {"unit files": ENABLED}),
        (login(1), {"running": ALL, "failed units": "", "assistant's cgroup": DAEMON_UNIT}),
        (STOP_DAEMON, {"running": "PrestoKeys"}),
        (START_DAEMON, {"running": ALL, "assistant's cgroup": DAEMON_UNIT}),
        (logout(1), {"running": ""}),
    ]),
    ("removal stops every user's programs and leaves nothing that fails at a login",
     ("package",), [
        (install(), {}),
        (login(1), {"running": ALL}),
        (REMOVE, {"running": "", "unit files": "", "units in /etc": ""}),
        (logout(1), {}),
        (login(2), {"running": "", "failed units": ""}),
        (autostart_login(3, "XFCE", False), {
            "autostart entry": "skipped: TryExec /opt/Presto/Presto.daemon is missing",
            "running": "", "failed units": ""}),
    ]),
    ("an upgrade restarts the running programs", ("package", "next"), [
        (install(), {}),
        (login(1), {"running": ALL, "programs": CURRENT}),
        (UPGRADE, {"running": ALL, "programs": CURRENT, "failed units": ""}),
    ]),
    ("an upgrade starts nothing for a user who is not logged in", ("package", "next"), [
        (install(), {}),
        (UPGRADE, {"running": "", "failed units": ""}),
    ]),
    ("a new login on another display reaches the programs the daemon launches", ("package",), [
        (HOT_KEY, {}),
        (install(), {}),
        (autostart_login(1, "GNOME", True), {"autostart entry": "ran"}),
        (PRESS, {"launched program's display":
                 launched(1, "GNOME", booted.HOME + "/.Xauthority-1")}),
        (display_ends(1), {}),
        (autostart_login(2, "XFCE", False), {"autostart entry": "ran"}),
        (PRESS, {"launched program's display": launched(2, "XFCE")}),
    ]),
    ("the installer leaves a package install alone", ("package",), [
        (install(), {"package's files": "clean"}),
        (helper("uninstall"), {"answer": LEFT_ALONE, "package's files": "clean",
                               "unit files": ENABLED}),
        (helper("uninstall", ["disable", "remove-folder", "remove-files"]),
         {"answer": LEFT_ALONE, "package's files": "clean", "unit files": ENABLED}),
        (helper("install"), {"answer": LEFT_ALONE, "package's files": "clean"}),
        (login(1), {"running": ALL, "failed units": ""}),
    ]),
    ("the administrator's password prompt names Presto and what it will do", ("package",), [
        (install(), {"polkit action": UNINSTALL_ACTION}),
        (agent_prompt(HELPER + " uninstall --steps"), {
            "answer": "AUTHENTICATING FOR com.nimbo.Presto.uninstall: " +
                      UNINSTALL_ACTION.split(": ", 1)[1] + "; pkexec ended with 127"}),
        (("pkexec the helper as the application does, no agent running", no_agent), {
            "answer": "status 127: Error executing command as another user: "
                      "No authentication agent found."}),
    ]),
    ("an upgrade from the earlier package moves its units out of /etc", ("earlier", "package"), [
        (install("earlier"), {}),
        (login(1), {"running": ALL}),
        (install(), {"units in /etc": "", "unit files": ENABLED, "programs": CURRENT}),
        (logout(1), {"running": ""}),
        (login(2), {"running": ALL, "failed units": ""}),
    ]),
]


def run_case(root, shared, transcript, name, steps):
    """The number of steps and observations that failed."""
    transcript.write("\n=== " + name)
    failures = 0
    with booted.Machine(root, shared, transcript) as machine:
        for (label, action), expected in steps:
            transcript.write("--- " + label)
            try:
                action(machine)
            except AssertionError as error:
                transcript.write("FAIL: the step failed: %s" % error)
                return failures + 1
            for observation, wanted in expected.items():
                seen = []
                try:
                    booted.wait_for(lambda: seen.append(OBSERVATIONS[observation](machine))
                                    or seen[-1] == wanted, observation, PROBE_CEILING)
                except AssertionError:
                    failures += 1
                transcript.write("%s %s: %r%s" % ("ok  " if seen[-1] == wanted else "FAIL",
                                                  observation, seen[-1], "" if seen[-1] == wanted
                                                  else " (wanted %r)" % wanted))
    return failures


def field(package, name):
    return subprocess.run(["dpkg-deb", "-f", package, name], check=True, capture_output=True,
                          text=True).stdout.strip()


def repack(package, version, target):
    """The same package under another version."""
    tree = tempfile.mkdtemp(prefix="presto-repack-")
    try:
        subprocess.run(["dpkg-deb", "-R", package, tree + "/p"], check=True)
        control = os.path.join(tree, "p/DEBIAN/control")
        with open(control) as f:
            text = re.sub(r"^Version: .*$", "Version: " + version, f.read(), flags=re.M)
        with open(control, "w") as f:
            f.write(text)
        subprocess.run(["dpkg-deb", "-b", "--root-owner-group", tree + "/p", target], check=True,
                       stdout=subprocess.DEVNULL)
    finally:
        shutil.rmtree(tree)


def share_packages(package, earlier, folder):
    """The package, the next version of it, and the earlier package under a version below it."""
    version = field(package, "Version")
    shutil.copy(package, os.path.join(folder, "package.deb"))
    repack(package, version + "+next", os.path.join(folder, "next.deb"))
    if earlier:
        if subprocess.run(["dpkg", "--compare-versions", field(earlier, "Version"), "lt",
                           version]).returncode == 0:
            shutil.copy(earlier, os.path.join(folder, "earlier.deb"))
        else:
            repack(earlier, version + "~earlier", os.path.join(folder, "earlier.deb"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deb", required=True)
    parser.add_argument("--earlier")
    parser.add_argument("--cache", default=os.path.join(tempfile.gettempdir(), "presto-booted"))
    parser.add_argument("--transcript")
    parser.add_argument("--only", help="run the cases whose name holds this text")
    args = parser.parse_args()

    package = args.deb
    if os.path.isdir(package):
        package = (sorted(glob.glob(os.path.join(package, "presto_*.deb"))) or [None])[-1]
    reason = booted.unavailable() or (
        None if package else "no package in %s (the package_deb test builds it)" % args.deb)
    if reason:
        print("SKIPPED: " + reason)
        return 77
    transcript = booted.Transcript(args.transcript)
    shared = tempfile.mkdtemp(prefix="presto-booted-")
    os.chmod(shared, 0o755)
    failures = 0
    try:
        share_packages(package, args.earlier, shared)
        transcript.write("# package: %s %s" % (package, field(package, "Version")))
        root = booted.prepare_root(args.cache, [field(p, "Depends") for p in
                                                filter(None, [package, args.earlier])],
                                   transcript)
        for name, packages, steps in CASES:
            if args.only and args.only not in name:
                continue
            if "earlier" in packages and not args.earlier:
                transcript.write("\n=== %s\nskipped: no earlier package given" % name)
                continue
            failures += run_case(root, shared, transcript, name, steps)
    except booted.Unavailable as error:
        print("SKIPPED: %s" % error)
        return 77
    finally:
        shutil.rmtree(shared, ignore_errors=True)
    transcript.write("\n" + ("every case passed" if not failures else
                             "%d steps or observations failed" % failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
