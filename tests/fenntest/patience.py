"""How long the toolkit waits for something before it gives up.

The limits suit Wine on the host's own processors. A machine that emulates its processor (the
test guest) is many times slower; FENN_PATIENCE=N there multiplies every limit by N. Only the
limits grow: a wait still ends as soon as what it awaits has happened.
"""

import os


def patience(seconds):
    """seconds, stretched by FENN_PATIENCE."""
    return seconds * float(os.environ.get("FENN_PATIENCE") or 1)
