"""Processes the tests leave running.

`leftovers.py watch NAME MARK`: every test program's watcher (the C++ ones start it from
Leftovers.cpp). `leftovers.py LOG`: the suite's last check, which fails naming every process a
watcher had to end and every one that still carries the suite's mark, and ends those."""

import os
import signal
import subprocess
import sys
import time

# What a process on the way out still gets to end on its own; ceilings, never pauses.
GRACE = 10
CEILING = 120


def processes_with(entry):
    """Processes (this one aside) whose environment holds entry ("NAME=value") exactly."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit() or int(name) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % name, "rb") as f:
                entries = f.read().split(b"\0")
        except OSError:
            continue
        if os.fsencode(entry) in entries:
            found.append(int(name))
    return found


def command_line(pid):
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return f.read().replace(b"\0", b" ").decode(errors="replace").strip()
    except OSError:
        return "(gone)"


def wait_until_none(entry, ceiling):
    deadline = time.monotonic() + ceiling
    while processes_with(entry) and time.monotonic() < deadline:
        time.sleep(0.05)


def watch(name, mark):
    """Leaves the caller's process tree at once (CTest's timeout kills the tree). Once standard
    input ends, that is once the watched program is gone however it ended, gives what still carries
    `mark` a few seconds to end, then names it in the file PRESTO_TEST_LEFTOVERS names (when set)
    and kills it."""
    if os.fork() != 0:
        return
    try:
        os.setsid()
        while os.read(0, 1):
            pass
        wait_until_none(mark, GRACE)
        log = os.environ.get("PRESTO_TEST_LEFTOVERS")
        for _ in range(5):  # what is killed may have started another one meanwhile
            left = processes_with(mark)
            if not left:
                break
            if log:
                with open(log, "a") as f:
                    for pid in left:
                        f.write("%s left %d: %s\n" % (name, pid, command_line(pid)))
            for pid in left:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            time.sleep(0.1)
    finally:
        os._exit(0)


def end_leftovers_when_gone(name):
    """Starts the watcher of this program, then marks this program's environment
    (PRESTO_TEST_OWNER) so that whatever it starts carries the mark."""
    mark = "PRESTO_TEST_OWNER=%d" % os.getpid()
    read_end, write_end = os.pipe()  # the write end is this program's alone, until it ends
    subprocess.run([sys.executable, os.path.abspath(__file__), "watch", name, mark], stdin=read_end,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    os.close(read_end)
    os.environ["PRESTO_TEST_OWNER"] = str(os.getpid())


def main(log):
    mark = "PRESTO_TEST_LEFTOVERS=" + log
    # The watchers of the last tests may still be giving their leftovers time.
    wait_until_none(mark, CEILING)
    problems = []
    try:
        with open(log) as f:
            problems = [line.rstrip("\n") for line in f if line.strip()]
    except FileNotFoundError:
        pass
    for pid in processes_with(mark):
        problems.append("still running %d: %s" % (pid, command_line(pid)))
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    if problems:
        print("Tests left these processes running (now ended):")
        print("\n".join(problems))
        return 1
    print("No test left a process running.")
    return 0


if __name__ == "__main__":
    if sys.argv[1] == "watch":
        watch(sys.argv[2], sys.argv[3])
    else:
        sys.exit(main(sys.argv[1]))
