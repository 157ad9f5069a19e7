"""How long the toolkit waits for something before it gives up, and the one loop that waits.

The limits suit Wine on the host's own processors. A machine that emulates its processor (the
test guest) is many times slower; FENN_PATIENCE=N there multiplies every limit by N. Only the
limits grow: a wait still ends as soon as what it awaits has happened.
"""

import os
import time

from .errors import ScenarioFailure


def patience(seconds):
    """seconds, stretched by FENN_PATIENCE."""
    return seconds * float(os.environ.get("FENN_PATIENCE") or 1)


def wait_until(condition, timeout, what, interval=0.3):
    """Polls condition() until it gives something true, and returns that. condition may itself
    fail the scenario (a box that should not be there). When the stretched timeout passes first,
    the scenario fails naming what it awaited (what may be a function giving that text then)."""
    limit = patience(timeout)
    deadline = time.monotonic() + limit
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise ScenarioFailure(f"{what() if callable(what) else what}: not within {limit:.0f}s")
        time.sleep(interval)
