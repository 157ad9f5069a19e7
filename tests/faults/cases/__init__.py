"""Every fault scenario by name: a function (ctx, outputs) that raises ScenarioFailure, or
Unsupported when the machine does not allow the fault."""

from . import (drive_trees, end_session, held_files, killed_runs, read_only, registry_types,
               temp_folder, unreadable)

SCENARIOS = {}
for module in (temp_folder, held_files, end_session, killed_runs, read_only, unreadable,
               registry_types, drive_trees):
    SCENARIOS.update(module.SCENARIOS)
