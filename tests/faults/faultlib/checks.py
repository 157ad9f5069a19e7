"""What the fault scenarios check on disk after a run: nothing left in the temp folders or the
system directory, and the product folder as it was."""

import os

from fenntest.errors import ScenarioFailure
from fenntest.product import leftover_temp_files, snapshot
from fenntest.flow import expect_same


def system_listing(prefix):
    return sorted(name.lower() for name in os.listdir(prefix.system32))


def expect_clean(prefix, temp_dirs, system_before):
    """Nothing of the setup's is left in the temp folders, and the system directory holds the same
    names as before the run (so no staged "CompVLib.DLL")."""
    problems = []
    for temp in temp_dirs:
        left = leftover_temp_files(temp)
        if left:
            problems.append(f"temporary files left in {temp}: {left}")
    now = system_listing(prefix)
    if now != system_before:
        added = sorted(set(now) - set(system_before))
        problems.append(f"the system directory changed: added {added}, "
                        f"removed {sorted(set(system_before) - set(now))}")
    if problems:
        raise ScenarioFailure("; ".join(problems))


def expect_product_kept(before, folder, installed=()):
    """Every entry that was in the product folder is still there, with its bytes and time; the
    only new entries are the named installed files."""
    after = snapshot(folder)
    new = sorted(set(after) - set(before) - set(installed))
    if new:
        raise ScenarioFailure(f"unexpected new entries in {folder}: {new}")
    kept = {k: v for k, v in after.items() if k in before}
    expect_same(before, kept, f"the product folder {folder}")
