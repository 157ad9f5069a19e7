class ScenarioFailure(Exception):
    """A scenario saw something a working setup would not do."""


class Unsupported(Exception):
    """The machine does not allow this fault (say, no mount privilege): the scenario is skipped."""
