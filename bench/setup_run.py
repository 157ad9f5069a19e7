#!/usr/bin/env python3
"""Times whole setup runs under Wine: from the start of the program to its completed panel, with
all four payloads to install ("full") and with nothing to install ("empty": the product folder
already holds every target file). The difference of the two is the extraction's share.

    bench/setup_run.py [--build-dir build/<win64 build>] [--runs 30] [--keep]

Each kind has its own Wine prefix (a copy of the end-to-end template) with the product in its
default folder and without the system's "cfgmgr32.dll" and "setupapi.dll", so that a full run
installs all four payloads and both kinds see the same system directory. A persistent
wineserver per prefix keeps the prefix's services up between runs, and one uncounted run of each
kind first takes the prefix's first start out of the figures. Before each run the previous one's
processes (program, virtual desktop) must have ended, in both prefixes, and a short rest
follows; then the kinds alternate, so that other load on the machine falls on both. A run's
start varies by some 100 ms with the load of the machine, more than the extraction's share, so
the difference of the medians needs many runs (30 by default); the staged window measures the
share within each run and needs far fewer.

When a run has completed shows nowhere but on screen; what the harness can see on disk is the
staged codec library. Every run that finds the product writes "CompVLib.DLL" into the system
directory before its extraction and deletes it in its last step before the completion texts and
buttons (an empty run too). The end of a run is that delete. There is no polling: inotify
reports the delete, and its moment is the system directory's change time, stamped by the kernel
as the file goes, so it does not depend on how soon this process wakes on a busy machine. The
start is taken just before the harness copies the program onto C: (about 1 MB) and hands it to
Wine, so a run includes Wine starting the process and its virtual desktop. The window from the
library's last write to its delete (staging, system-library check, extraction, release) is
reported as well; it is read from the library's own time, so a window too short for this
process to look in time (an empty run's few milliseconds, sometimes) counts as not seen.

After each run, outside the timing: the panel must still be up with no message box, the product
folder must hold what the kind expects, Esc must end the program without the cancel notice
(proof the panel had completed), and nothing may be left in the temp folder.
"""

import argparse
import os
import statistics
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))  # fenntest

from fenntest.build_outputs import BuildOutputs  # noqa: E402
from fenntest.context import ScenarioContext  # noqa: E402
from fenntest.errors import ScenarioFailure  # noqa: E402
from fenntest.product import (DEFAULT_FOLDER, PANEL_TITLE, PAYLOAD_NAMES,  # noqa: E402
                              STAGED_CODEC, SYSTEM_LIBRARIES, lay_out_product, snapshot)
from fenntest.processes import prefix_processes  # noqa: E402
from fenntest.watch import IN_CLOSE_WRITE, IN_DELETE, IN_MOVED_FROM, FolderWatch  # noqa: E402
from fenntest.flow import (ERROR_TITLE, NOTICE_TITLE, SetupUnderTest,  # noqa: E402
                           check_no_leftovers, expect_same, finish)

RUN_TIMEOUT = 120  # seconds from start to completion before a run counts as hung
# Seconds of rest before each run once the last one's processes have gone: Wine and the X server
# still finish up after them (window teardown, the server's bookkeeping).
QUIET = 2.0

class Kind:
    """One kind of run in its own prefix: what the product folder holds before a run, and what it
    must hold after."""

    def __init__(self, ctx, setup, label, preinstalled):
        self.label = label
        self.prefix = ctx.new_prefix(label)
        for name in SYSTEM_LIBRARIES:
            (self.prefix.system32 / name).unlink(missing_ok=True)
        self.product = lay_out_product(self.prefix.host_path(DEFAULT_FOLDER))
        self.preinstalled = preinstalled
        if preinstalled:
            for payload in setup.payloads:
                (self.product / payload.name).write_bytes(payload.content)
        self.before = snapshot(self.product)
        # Kept up between runs, so no run pays for the server's start; ended with the prefix.
        os.spawnlpe(os.P_WAIT, "wineserver", "wineserver", "-p", self.prefix.env())
        self.watch = FolderWatch(self.prefix.system32)
        self.runs = []
        self.totals = []
        self.staged = []

    def reset(self):
        if not self.preinstalled:
            for name in PAYLOAD_NAMES:
                (self.product / name).unlink(missing_ok=True)
        expect_same(self.before, snapshot(self.product), f"the {self.label} product folder")

    def check_after(self):
        after = snapshot(self.product)
        if self.preinstalled:
            expect_same(self.before, after, f"the {self.label} product folder")
        else:
            missing = [n for n in PAYLOAD_NAMES if n not in after]
            if missing:
                raise ScenarioFailure(f"a {self.label} run did not install {missing}")


# What stays up between runs: the persistent wineserver and the services Wine started with the
# prefix's first run.
LASTING = ("wineserver", "wineserver64", "services.exe", "winedevice.exe", "plugplay.exe",
           "svchost.exe", "rpcss.exe")


def run_processes(prefix):
    """Process ids of the prefix's Wine processes that belong to one run (the program, its
    virtual desktop, the launcher)."""
    return prefix_processes(prefix.path, except_named=LASTING)


def settle(prefix, timeout=20):
    """Waits until the last run's processes have all ended, so that every run starts from the
    same state: the wineserver and the prefix's services up, no desktop, no program."""
    deadline = time.monotonic() + timeout
    while run_processes(prefix) and time.monotonic() < deadline:
        time.sleep(0.2)


def timed_run(ctx, setup, kind, kinds):
    """One run from start to completion; (seconds in all, seconds the codec library was staged,
    or None when it came and went too fast to be looked at)."""
    kind.reset()
    for earlier in kind.runs:  # the harness would wait here too, inside the timing
        earlier.wait_desktop_closed()
    for each in kinds:  # the other kind's last run may still be going away
        settle(each.prefix)
    time.sleep(QUIET)
    kind.watch.drain()
    staged_file = kind.prefix.system32 / STAGED_CODEC
    started = time.time_ns()
    run = ctx.start_program(kind.prefix, setup.exe, as_name="FennSetup.exe")
    kind.runs.append(run)
    deadline = time.monotonic() + RUN_TIMEOUT
    # The moments come from the file system's own times, not from when this process got to
    # see the events: on a busy machine it may wake late, and then both arrive at once.
    written = kind.watch.wait_for(STAGED_CODEC, IN_CLOSE_WRITE, deadline)
    try:
        staged_at = os.stat(staged_file).st_mtime_ns
    except FileNotFoundError:
        staged_at = None
    released = kind.watch.wait_for(STAGED_CODEC, IN_DELETE | IN_MOVED_FROM, deadline)
    if not written or not released:
        seen = [name for _, name in run.visible_windows()]
        raise ScenarioFailure(f"a {kind.label} run did not stage and release {STAGED_CODEC} "
                              f"within {RUN_TIMEOUT}s; visible: {seen}")
    # Nothing else changes the system directory during a run: its time is that of the delete.
    released_at = os.stat(kind.prefix.system32).st_mtime_ns
    total = (released_at - started) / 1e9
    staged = None if staged_at is None else (released_at - staged_at) / 1e9

    # Outside the timing: the run really completed, and completed as it should.
    time.sleep(0.5)  # the completion texts follow the release
    boxes = [t for t in (ERROR_TITLE, NOTICE_TITLE) if run.find_window(t)]
    if boxes or not run.find_window(PANEL_TITLE):
        ctx.screenshot(run, f"{kind.label}-unexpected")
        raise ScenarioFailure(f"after a {kind.label} run: boxes {boxes}, panel up: "
                              f"{bool(run.find_window(PANEL_TITLE))}")
    kind.check_after()
    finish(ctx, run, "Escape")
    check_no_leftovers(kind.prefix)
    return total, staged


def row(label, values):
    seen = [v for v in values if v is not None]
    if not seen:
        return f"  {label:34}{'(too short to see)':>26}"
    note = "" if len(seen) == len(values) else f"  ({len(seen)} of {len(values)} runs seen)"
    return (f"  {label:34}{statistics.median(seen) * 1000:8.0f} {min(seen) * 1000:8.0f} "
            f"{max(seen) * 1000:8.0f}{note}")


def report(full, empty, runs):
    print(f"\nwhole setup runs under Wine, start to completed panel, {runs} runs of each kind")
    print(f"{'':36}{'median':>8} {'min':>8} {'max':>8}  (ms)")
    for kind in (full, empty):
        print(row(f"{kind.label}: start to completion", kind.totals))
        print(row(f"{kind.label}: codec staged to released", kind.staged))
    full_median = statistics.median(full.totals)
    share = full_median - statistics.median(empty.totals)
    print(f"  extraction's share, full minus empty (medians): {share * 1000:.0f} ms, "
          f"{share / full_median:.1%} of a full run")
    full_staged = [v for v in full.staged if v is not None]
    empty_staged = [v for v in empty.staged if v is not None]
    if full_staged and empty_staged:
        staged = statistics.median(full_staged) - statistics.median(empty_staged)
        print(f"  the same within the runs (staged windows, medians): {staged * 1000:.0f} ms, "
              f"{staged / full_median:.1%} of a full run")
    for kind in (full, empty):
        print(f"  every {kind.label} run: {', '.join(f'{t * 1000:.0f}' for t in kind.totals)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", default="build/win64")
    parser.add_argument("--runs", type=int, default=30, help="counted runs of each kind")
    parser.add_argument("--keep", action="store_true", help="keep the run folder")
    args = parser.parse_args()

    outputs = BuildOutputs(args.build_dir)
    setup = SetupUnderTest(outputs.setup)
    ctx = ScenarioContext("setup_run", args.build_dir, keep=args.keep, area="bench")
    succeeded = False
    kinds = []
    try:
        full = Kind(ctx, setup, "full", preinstalled=False)
        empty = Kind(ctx, setup, "empty", preinstalled=True)
        kinds = [full, empty]
        ctx.log(f"{setup.exe}; payloads {[(p.name, len(p.content)) for p in setup.payloads]}")
        for kind in kinds:
            timed_run(ctx, setup, kind, kinds)  # the prefix's first start: not counted
        for number in range(args.runs):
            for kind in kinds:
                total, staged = timed_run(ctx, setup, kind, kinds)
                kind.totals.append(total)
                kind.staged.append(staged)
                window = "too short to see" if staged is None else f"{staged * 1000:.0f} ms"
                ctx.log(f"{kind.label} run {number + 1}: {total * 1000:.0f} ms, codec staged "
                        f"{window}")
        report(full, empty, args.runs)
        succeeded = True
    except ScenarioFailure as failure:
        print(f"[setup_run] FAILED: {failure}", file=sys.stderr)
    finally:
        for kind in kinds:
            kind.watch.close()
        ctx.close(succeeded)
    return 0 if succeeded else 1


if __name__ == "__main__":
    sys.exit(main())
