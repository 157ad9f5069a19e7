"""What the fault scenarios add to the Wine/X toolkit (fenntest)."""


class Unsupported(Exception):
    """The machine does not allow this fault (say, no mount privilege): the scenario is skipped."""
