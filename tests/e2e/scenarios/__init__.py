"""Every scenario by name. A scenario is a function (ctx, outputs) that raises ScenarioFailure."""

from . import probe

SCENARIOS = {}
for module in (probe,):
    SCENARIOS.update(module.SCENARIOS)
