"""Everything one scenario owns: its folder, its prefixes, its display and its program runs.

All of it is ended and removed by the scenario itself, by process id or through its own
prefix's wineserver. A failed scenario keeps its folder for a look afterwards.
"""

import shutil
import sys
import threading
import time
from pathlib import Path

from .build_outputs import BuildOutputs
from .desktop import DesktopRun
from .errors import ScenarioFailure
from .display import VirtualDisplay
from .helper import FaultHelper
from .prefix import WinePrefix, clone_prefix, ensure_template, template_of

PROGRAM_FOLDER = "C:\\fenn-e2e"


class ScenarioContext:
    """area names the folder of the build that holds runs/ and screenshots/ ("e2e" for these
    scenarios; other suites keep theirs apart); every prefix is a copy of the build's template."""

    def __init__(self, name, build_dir, keep=False, area="e2e"):
        self.name = name
        self._started = time.monotonic()
        self.build_dir = Path(build_dir).resolve()
        self.e2e_dir = self.build_dir / "e2e"
        area_dir = self.build_dir / area
        self.work = area_dir / "runs" / name
        self.screenshot_dir = area_dir / "screenshots"
        self.keep = keep
        self._prefixes = []
        self._runs = []
        self._display = None
        self._cleanups = []
        self._helpers = {}
        if self.work.exists():
            # A run that was itself ended (a test's timeout) left its prefixes' processes
            # running; their server is found through the prefix's folder, so end them first.
            for registry in self.work.glob("*/system.reg"):
                WinePrefix(registry.parent).shutdown()
            shutil.rmtree(self.work)
        self.work.mkdir(parents=True)
        self.screenshot_dir.mkdir(parents=True, exist_ok=True)
        self.template = ensure_template(template_of(self.build_dir))
        self.program_bits = BuildOutputs(self.build_dir).program_bits

    def log(self, text):
        """One line of the scenario's log, with the seconds since it began: where a slow
        machine's time goes shows in the gaps."""
        print(f"[{self.name} {time.monotonic() - self._started:6.1f}s] {text}", flush=True)

    def new_prefix(self, label="prefix"):
        prefix = clone_prefix(self.template, self.work / label, self.program_bits)
        self.log(f"prefix {label} copied")
        self._prefixes.append(prefix)
        return prefix

    @property
    def display(self):
        if self._display is None:
            self._display = VirtualDisplay(log_path=self.work / "xvfb.log").start()
            self.log(f"display {self._display.name}")
        return self._display

    def start_program(self, prefix, host_exe, args=(), as_name=None, alongside=False):
        """Copies a Windows program onto the prefix's C: drive and starts it on the display; after
        the earlier runs on that prefix have closed their desktop, unless it runs alongside
        them."""
        for earlier in self._runs:
            if earlier.prefix is prefix and not alongside:
                earlier.wait_desktop_closed()
        name = as_name or Path(host_exe).name
        target = prefix.host_path(PROGRAM_FOLDER) / name
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(host_exe, target)
        run = DesktopRun(prefix, self.display, f"{PROGRAM_FOLDER}\\{name}", args,
                         log_path=self.work / f"{name}.log")
        self._runs.append(run)
        self.log(f"start {name} {' '.join(args)}".rstrip())
        return run.start()

    def start_together(self, prefix, host_exe, count, as_name=None):
        """Starts count copies of one Windows program at the same moment on the prefix's
        desktop; one DesktopRun each (their program_pids see every copy: one name)."""
        name = as_name or Path(host_exe).name
        target = prefix.host_path(PROGRAM_FOLDER) / name
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(host_exe, target)
        runs = [DesktopRun(prefix, self.display, f"{PROGRAM_FOLDER}\\{name}",
                           log_path=self.work / f"{name}-{number}.log")
                for number in range(1, count + 1)]
        self._runs.extend(runs)
        for run in runs:
            run.watch_for_program()
        errors = []

        def start(run):
            try:
                run.start()
            except ScenarioFailure as error:
                errors.append(error)

        threads = [threading.Thread(target=start, args=(run,)) for run in runs]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        if errors:
            raise errors[0]
        self.log(f"started {count} x {name} at once")
        return runs

    def helper(self, prefix):
        """The prefix's FaultHelper.exe, a second Windows process that reads window texts and
        holds files."""
        if prefix.path not in self._helpers:
            self._helpers[prefix.path] = FaultHelper(self, prefix)
        return self._helpers[prefix.path]

    def screenshot(self, run, label):
        path = self.screenshot_dir / f"{self.name}-{label}.png"
        run.screenshot(path)
        self.log(f"screenshot {path}")
        return path

    def on_close(self, step, after_wine=False):
        """Registers a clean-up step of the scenario's own: run before its Wine processes end
        (say, stopping a helper), or after (say, releasing something they held open)."""
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

