"""Hostile folder trees on a second fixed drive D:: symbolic links that lead back up the tree, a
tree far deeper than any installation, and names outside the Korean code page. The search must end
in bounded time with the right outcome, and install where it found the product."""

import os
import time

from faultlib.checks import expect_clean, expect_product_kept, system_listing
from fenntest.errors import ScenarioFailure
from fenntest.patience import wait_until
from fenntest.product import PANEL_TITLE, lay_out_product, snapshot, updater_start
from fenntest.flow import (ERROR_TITLE, NOT_FOUND_TEXT, WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest,
                           check_installed, dismiss_box, finish, start_setup, wait_completed)

# A walk that is still going after this long is a hang, whatever the machine.
SEARCH_BOUND_SECONDS = 120
LINK_LEVELS = 12
DEEP_LEVELS = 300
SEARCH_DEPTH_LIMIT = 64  # the deepest folder (below the drive root) whose files are tested


class DriveSearchRun:
    """One prefix with fixed drives D: and E:, and the setup run against it again and again."""

    def __init__(self, ctx, outputs):
        self.ctx = ctx
        self.setup = SetupUnderTest(outputs.setup)
        self.prefix = ctx.new_prefix()
        self.d = ctx.work / "drive-d"
        self.e = ctx.work / "drive-e"
        self.prefix.map_fixed_drives({"d": self.d, "e": self.e}, ctx.work)
        self.helper = ctx.helper(self.prefix)
        self.system_before = system_listing(self.prefix)

    def expect_found(self, product, label):
        """The run finds the product in `product` (a host folder), installs there and nowhere else,
        within the bound; returns the run (its panel still up) for a further look."""
        before = snapshot(product)
        started = time.monotonic()
        run = start_setup(self.ctx, self.prefix, self.setup)
        wait_completed(self.ctx, run, timeout=SEARCH_BOUND_SECONDS)
        self.ctx.log(f"{label}: found and installed, {time.monotonic() - started:.1f}s")
        self.ctx.screenshot(run, label)
        check_installed(self.setup, product, WITHOUT_SYSTEM_LIBRARIES)
        expect_product_kept(before, product, WITHOUT_SYSTEM_LIBRARIES)
        return run

    def expect_not_found(self, label):
        started = time.monotonic()
        run = start_setup(self.ctx, self.prefix, self.setup)
        dismiss_box(self.ctx, run, ERROR_TITLE, label, NOT_FOUND_TEXT, timeout=SEARCH_BOUND_SECONDS)
        run.wait_exit()
        self.ctx.log(f"{label}: not found, {time.monotonic() - started:.1f}s")

    def expect_clean(self):
        expect_clean(self.prefix, [self.prefix.temp_dir], self.system_before)

    def set_aside(self, folder):
        """Moves a product folder where the search never looks (a name with a dot)."""
        folder.rename(folder.with_name(folder.name + ".done"))


def link_cycle(ctx, outputs):
    """Every level of D:\\Loop holds two symbolic links to its parent ("ln -s .. a", "ln -s .. b"):
    a walk that followed them would never end. A link to itself and one to nothing sit beside them.
    The search still finds a product at the bottom of
    the real folders, walks past the links to a product on E:, and ends with the not-found box
    when there is no product at all."""
    drives = DriveSearchRun(ctx, outputs)
    level = drives.d / "Loop"
    for i in range(LINK_LEVELS):
        level = level / f"L{i:02}"
        level.mkdir(parents=True)
        os.symlink("..", level / "a")
        os.symlink("..", level / "b")
    # Links that cannot be followed at all: one to itself, one to nothing.
    os.symlink("self", drives.d / "Loop" / "self")
    os.symlink("/nonexistent/fenn-fault-target", drives.d / "Loop" / "gone")
    for link in ("D:\\Loop\\L00\\a", "D:\\Loop\\self", "D:\\Loop\\gone"):
        ctx.log(f"{link} as Wine reports it: "
                + " | ".join(drives.helper.attributes(link).splitlines()))

    bottom = lay_out_product(level / "Tolvarine")
    finish(ctx, drives.expect_found(bottom, "loop-bottom"))
    drives.set_aside(bottom)
    elsewhere = lay_out_product(drives.e / "Tolvarine")
    finish(ctx, drives.expect_found(elsewhere, "loop-then-e"))
    drives.set_aside(elsewhere)
    drives.expect_not_found("loop-nothing")
    drives.expect_clean()


def nested(root, names):
    path = root
    for name in names:
        path = path / name
    path.mkdir(parents=True, exist_ok=True)
    return path


def deep_tree(ctx, outputs):
    """D:\\Deep is 300 levels of one-letter folders, and D:\\Long 20 levels of long names (over
    260 characters by level 14). Products lie past the search's depth limit (levels 65 and 300)
    and past the path limit: neither is found, and the not-found box comes in bounded time. A
    product at level 64 is found, so the walk did go that deep, and so is one at level 12 of the
    long names."""
    drives = DriveSearchRun(ctx, outputs)
    # D:\Deep is level 1, so the folder at level n is D:\Deep plus n - 1 names.
    deep = [nested(drives.d / "Deep", ["a"] * (n - 1)) for n in (DEEP_LEVELS, 65)]
    long_names = [f"folder-name-{i:06}" for i in range(20)]  # 18 characters each
    long_bottom = nested(drives.d / "Long", long_names)
    for folder in (*deep, long_bottom):
        lay_out_product(folder)
    drives.expect_not_found("deep-beyond-limits")

    at_limit = nested(drives.d / "Deep", ["a"] * (SEARCH_DEPTH_LIMIT - 1))
    lay_out_product(at_limit)
    finish(ctx, drives.expect_found(at_limit, "deep-at-limit"))
    drives.set_aside(at_limit)
    # Long names are no obstacle while the paths stay short enough: at level 12 the file test's
    # path is D:\Long plus 12 names, under 260 characters.
    shorter = nested(drives.d / "Long", long_names[:12])
    lay_out_product(shorter)
    finish(ctx, drives.expect_found(shorter, "long-names-within-limit"))
    drives.expect_clean()


def non_ansi_names(ctx, outputs):
    """Folder and file names outside the Korean code page (Thai, emoji) on D:, and the product in
    such a folder: the search finds it, the payloads go there, and Run starts the updater from
    there."""
    drives = DriveSearchRun(ctx, outputs)
    for name in ("ทดสอบ", "😀 이모지", "Ελληνικά"):
        (drives.d / name / "ข้อมูล").mkdir(parents=True)
        # An extensionless file is listed like a folder and descended into; it must do no harm.
        (drives.d / name / "ไฟล์").write_bytes(b"not a folder\r\n")
    product = lay_out_product(drives.d / "ทดสอบ" / "🎮 톨바리네")
    run = drives.expect_found(product, "non-ansi-found")
    run.press(run.wait_for_window(PANEL_TITLE), "alt+r")
    run.wait_exit()
    command_line, working_folder = updater_start(product, wait_until)
    if command_line.strip('"') != "D:\\ทดสอบ\\🎮 톨바리네\\K3Fenn.exe":
        raise ScenarioFailure(f"the updater was started as {command_line!r}")
    if working_folder != "D:\\ทดสอบ\\🎮 톨바리네":
        raise ScenarioFailure(f"the updater started in {working_folder!r}")
    drives.expect_clean()


SCENARIOS = {
    "link_cycle": link_cycle,
    "deep_tree": deep_tree,
    "non_ansi_names": non_ansi_names,
}
