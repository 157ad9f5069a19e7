class ScenarioFailure(Exception):
    """A scenario saw something a working setup would not do."""
