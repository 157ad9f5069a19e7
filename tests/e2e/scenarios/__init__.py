"""Every scenario by name. A scenario is a function (ctx, outputs) that raises ScenarioFailure."""

from . import cancel_and_run, concurrent, failures, install, probe, sources

SCENARIOS = {}
for module in (probe, sources, install, cancel_and_run, failures, concurrent):
    SCENARIOS.update(module.SCENARIOS)
