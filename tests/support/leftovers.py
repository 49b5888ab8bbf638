"""Processes the tests leave running.

As a module: the Python tests' watcher (the C++ tests' one is in Leftovers.cpp). As a program: the
suite's last check, which fails naming every process a watcher had to end and every one that still
carries the suite's mark, and ends those."""

import os
import signal
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


def end_leftovers_when_gone(name):
    """Marks this program's environment (PRESTO_TEST_OWNER), so that whatever it starts carries the
    mark, and starts a watcher outside its process tree (CTest's timeout kills the tree): once this
    program is gone, however it ended, the watcher gives what is still marked a few seconds to
    end, then names it in the file PRESTO_TEST_LEFTOVERS names (when set) and kills it."""
    os.environ["PRESTO_TEST_OWNER"] = str(os.getpid())
    mark = "PRESTO_TEST_OWNER=%d" % os.getpid()
    read_end, write_end = os.pipe()  # not inherited by what this program starts
    child = os.fork()
    if child == 0:
        try:
            os.setsid()
            if os.fork() == 0:
                os.close(write_end)
                null = os.open(os.devnull, os.O_RDWR)
                for fd in (0, 1, 2):
                    os.dup2(null, fd)
                while os.read(read_end, 1):
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
    os.close(read_end)  # write_end stays open until this program ends
    os.waitpid(child, 0)


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
    sys.exit(main(sys.argv[1]))
