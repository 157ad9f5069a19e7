"""The end-to-end scenario context, kept under <build>/faults.

The fault scenarios keep their folders under <build>/faults (runs/, screenshots/) and share only
the e2e template prefix. They also start helper processes and mount file systems: those are ended
and unmounted through the context's clean-up steps (on_close), before or after the scenario's
prefixes are shut down.
"""

from pathlib import Path

from faultlib.mounts import unmount_below
from fenntest.context import ScenarioContext


class FaultContext(ScenarioContext):
    def __init__(self, name, build_dir, keep=False):
        # A folder kept from a failed run may still hold its mounts; the base class removes it.
        stale = Path(build_dir).resolve() / "faults" / "runs" / name
        if stale.exists():
            unmount_below(stale)
        super().__init__(name, build_dir, keep, area="faults")
