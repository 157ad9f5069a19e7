"""The end-to-end scenario context, moved to <build>/faults, with clean-up steps of its own.

The e2e context keeps its folders under <build>/e2e; the fault scenarios keep theirs under
<build>/faults (runs/, screenshots/) and share only the e2e template prefix. Fault scenarios also
start helper processes and mount file systems: those are ended and unmounted by the scenario
itself, before its prefixes are shut down and its folder is removed.
"""

import shutil
import sys
from pathlib import Path

from faultlib.mounts import unmount_below
from harness.context import ScenarioContext
from harness.prefix import ensure_template


class FaultContext(ScenarioContext):
    def __init__(self, name, build_dir, keep=False):
        # Not the base constructor: it would make the scenario folder under <build>/e2e.
        self.name = name
        self.build_dir = Path(build_dir).resolve()
        self.e2e_dir = self.build_dir / "e2e"
        self.faults_dir = self.build_dir / "faults"
        self.work = self.faults_dir / "runs" / name
        self.screenshot_dir = self.faults_dir / "screenshots"
        self.keep = keep
        self._prefixes = []
        self._runs = []
        self._display = None
        self._cleanups = []
        if self.work.exists():
            unmount_below(self.work)
            shutil.rmtree(self.work)
        self.work.mkdir(parents=True)
        self.screenshot_dir.mkdir(parents=True, exist_ok=True)
        self.template = ensure_template(self.e2e_dir / "template")

    def on_close(self, step, after_wine=False):
        """Registers a clean-up step: before the Wine processes end (stopping a helper), or after
        (unmounting a file system that they held open)."""
        self._cleanups.append((after_wine, step))

    def _run_cleanups(self, after_wine):
        for when, step in reversed(self._cleanups):
            if when == after_wine:
                try:
                    step()
                except Exception as error:  # every other clean-up still runs
                    print(f"[{self.name}] clean-up failed: {error}", file=sys.stderr)

    def close(self, succeeded):
        for run in self._runs:
            run.stop()
        self._run_cleanups(after_wine=False)
        for prefix in self._prefixes:
            prefix.shutdown()
        self._run_cleanups(after_wine=True)
        if self._display is not None:
            self._display.stop()
        if succeeded and not self.keep:
            shutil.rmtree(self.work, ignore_errors=True)
        elif not succeeded:
            print(f"[{self.name}] kept {self.work} for a look", file=sys.stderr)

