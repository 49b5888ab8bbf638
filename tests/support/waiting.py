"""Waiting on a condition under a generous ceiling: the Python tests' one way of waiting."""

import time


def wait_for(condition, what, ceiling, interval=0.05):
    """The condition's first true value, or an AssertionError naming `what` after `ceiling` s."""
    deadline = time.monotonic() + ceiling
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("gave up after %.0f s waiting for %s" % (ceiling, what))
        time.sleep(interval)
