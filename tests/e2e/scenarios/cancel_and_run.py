"""The two ways a person ends a run early or hands over: Cancel during the drive search, and
Run once the setup has completed."""

import signal
import time

from fenntest.patience import wait_until
from fenntest.watch import IN_OPEN, start_held
from fenntest.errors import ScenarioFailure
from fenntest.product import (DEFAULT_FOLDER, PANEL_TITLE, PAYLOAD_NAMES, UPDATER_MARKER,
                              lay_out_product, updater_start)

from fenntest.flow import (WITHOUT_SYSTEM_LIBRARIES, ERROR_TITLE, NOTICE_TITLE, SetupUnderTest,
                           check_installed, check_no_leftovers, dismiss_box, start_setup,
                           wait_completed)


def make_tree(root, width, depth):
    """depth levels of width folders each below root, none with a dot in its name."""
    level = [root]
    for _ in range(depth):
        level = [folder / f"d{i:02}" for folder in level for i in range(width)]
        for folder in level:
            folder.mkdir(parents=True)


def cancel(ctx, outputs):
    """Esc, and in a second run Alt+C, while the drive search walks a tree on D: shows the
    notice; after it the program ends without installing, although the product sits on the
    later drive E:. A close request (Alt+F4) in a third run ends it the same way, without the
    notice. Each run is held (SIGSTOP) the moment the search opens a folder deep in D:'s tree,
    and the key is pressed while it is held: the search is surely under way, and the rest of the
    tree (some 1,800 folders) keeps it busy until the key is taken at its next yield, however
    fast or slow the machine."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    drive_d = ctx.work / "drive-d"
    make_tree(drive_d / "Data", width=12, depth=3)
    prefix.map_fixed_drives({"d": drive_d, "e": ctx.work / "drive-e"}, ctx.work)
    product = lay_out_product(prefix.host_path("E:\\Tolvarine"))

    for key in ("Escape", "alt+c", "alt+F4"):
        run, _ = start_held(ctx, prefix, setup.exe, drive_d / "Data" / "d00",
                            lambda name: name == "d00", IN_OPEN, f"searching D: ({key})")
        started = time.monotonic()
        run.press(run.wait_for_window(PANEL_TITLE), key)
        run.signal(signal.SIGCONT)
        if key != "alt+F4":  # a close request from outside ends the run without a notice
            dismiss_box(ctx, run, NOTICE_TITLE, f"cancel-notice-{key}")
        run.wait_exit(timeout=60)
        ctx.log(f"ended {time.monotonic() - started:.1f}s after {key}")
        installed = [n for n in PAYLOAD_NAMES if (product / n).exists()]
        if installed:
            raise ScenarioFailure(f"the setup cancelled by {key} went on and installed "
                                  f"{installed}")
        check_no_leftovers(prefix)


def run_updater(ctx, outputs):
    """The product lies in the root of D:, so the updater's path is D:\\K3Fenn.exe; Alt+R
    starts it (it leaves a marker beside itself) and the setup ends."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    drive = ctx.work / "drive-d"
    prefix.map_fixed_drives({"d": drive}, ctx.work)
    product = lay_out_product(drive)

    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES)
    ctx.screenshot(run, "completed")
    run.press(run.wait_for_window(PANEL_TITLE), "alt+r")
    run.wait_exit()
    # The updater gets its full path and nothing else on its command line, and the product folder
    # as its working folder. Wine keeps no permissions, so the desktop user could change that
    # folder: this is the start as the desktop user.
    command_line, working_folder = updater_start(product, wait_until)
    if command_line.strip('"').lower() != "d:\\k3fenn.exe":
        raise ScenarioFailure(f"the updater was started as {command_line!r}, not D:\\K3Fenn.exe")
    if working_folder.lower() != "d:\\":
        raise ScenarioFailure(f"the updater started in {working_folder!r}, not in D:\\")
    time.sleep(1.0)
    ctx.screenshot(run, "updater-started")
    # Starting the updater read it: its access time has moved on.
    check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES, access_times=False)


def updater_missing(ctx, outputs):
    """Run when the installed updater has gone: an error box, then the setup ends."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))

    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES)
    (product / "K3Fenn.exe").unlink()
    run.press(run.wait_for_window(PANEL_TITLE), "alt+r")
    dismiss_box(ctx, run, ERROR_TITLE, "updater-missing")
    run.wait_exit()
    if (product / UPDATER_MARKER).exists():
        raise ScenarioFailure("something was started")


SCENARIOS = {
    "cancel": cancel,
    "run_updater": run_updater,
    "updater_missing": updater_missing,
}
