"""What the fault scenarios add to the end-to-end harness of tests/e2e (which they only import)."""


class Unsupported(Exception):
    """The machine does not allow this fault (say, no mount privilege): the scenario is skipped."""
