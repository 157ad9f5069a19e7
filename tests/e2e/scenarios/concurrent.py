"""Two setups started at the same moment on one prefix: one of them brings the other's panel to
the front and ends; the other installs everything. And a squatter that made the names and a
window of the setup's before it: it neither stops the setup nor hangs a second start."""

import shutil
import subprocess
import time

from fenntest.context import PROGRAM_FOLDER
from fenntest.desktop import DESKTOP_NAME
from fenntest.errors import ScenarioFailure
from fenntest.flow import (ERROR_TITLE, NOTICE_TITLE, WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest,
                           check_installed, check_no_leftovers, finish, wait_completed)
from fenntest.patience import patience, wait_until
from fenntest.product import (DEFAULT_FOLDER, PANEL_TITLE, PAYLOAD_NAMES, SYSTEM_LIBRARIES,
                              lay_out_product)
from fenntest.watch import IN_CLOSE_NOWRITE, IN_CLOSE_WRITE, FolderWatch

SECOND_ENDS_WITHIN = 30
CLAIM = "FennSetup.SetupRun"  # the file in the system directory that claims the one setup run


def two_setups(ctx, outputs):
    """Exactly one panel and never a box; the second process ends by itself; all four payloads
    are installed whole, and neither a temporary file nor the staged library is left."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    for name in SYSTEM_LIBRARIES:
        (prefix.system32 / name).unlink()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))

    # The second start may end within a tenth of a second, too soon for a look at the process
    # list to be sure to see it. Each start opens the claim file; the one that holds it closes it
    # only when it ends, so a close while a setup runs is the other start's refused claim. (Opens
    # cannot be counted: inotify merges two alike events in a row.)
    closes = IN_CLOSE_WRITE | IN_CLOSE_NOWRITE
    claims = FolderWatch(prefix.system32, closes)
    try:
        first, _ = ctx.start_together(prefix, setup.exe, 2, as_name="FennSetup.exe")
        refused = False

        def one_left():
            nonlocal refused
            refused = refused or claims.wait_for(CLAIM, closes, time.monotonic() + 0.05)
            if refused and len(first.program_pids()) == 1 and first.find_window(PANEL_TITLE):
                return True
            expect_one_panel_no_box(ctx, first)
            return False

        wait_until(one_left, SECOND_ENDS_WITHIN, lambda: f"a claim refused ({refused}) and one "
                   f"setup left (visible: {first.titles()})", interval=0.1)
    finally:
        claims.close()
    ctx.log("the other start's claim was refused; one setup is left")

    wait_completed(ctx, first, prefix, product, PAYLOAD_NAMES)
    expect_one_panel_no_box(ctx, first)
    ctx.screenshot(first, "completed")
    finish(ctx, first)
    check_installed(setup, product, PAYLOAD_NAMES)
    check_no_leftovers(prefix)


def squatter(ctx, outputs):
    """Another program came first: it holds a mutex open to everyone under the name the setup's
    claim once had, an event under its session name, and a minimised window of the panel's class,
    and it hangs. The setup runs all the same and completes; a second start (another copy) ends
    within seconds without waiting on the hung window; one panel, never a box."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    # Every program of the prefix runs on the scenarios' desktop, also one started by plain "wine".
    prefix.import_registry(f'[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n'
                           f'"Desktop"="{DESKTOP_NAME}"\n', ctx.work)
    ctx.start_program(prefix, outputs.probe, ["squat"])
    wait_until(prefix.host_path(PROGRAM_FOLDER + "\\squat.ready").exists, 30,
               "the squatter's names and window")

    run = ctx.start_program(prefix, setup.exe, as_name="FennSetup.exe", alongside=True)
    run.wait_for_window(PANEL_TITLE)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES)

    # The second start ends too soon for a look at the process list to be sure to see it: it runs
    # under a plain "wine", which returns when it ends, on the same desktop.
    shutil.copy2(setup.exe, prefix.host_path(PROGRAM_FOLDER) / "FennSetup-copy.exe")
    started = time.monotonic()
    try:
        prefix.wine([f"{PROGRAM_FOLDER}\\FennSetup-copy.exe"], timeout=patience(SECOND_ENDS_WITHIN),
                    extra_env=ctx.display.env())
    except subprocess.TimeoutExpired:
        ctx.screenshot(run, "second-start-hangs")
        raise ScenarioFailure(f"the second start did not end within {SECOND_ENDS_WITHIN}s")
    ctx.log(f"the second start ended {time.monotonic() - started:.1f}s after it was started")
    expect_one_panel_no_box(ctx, run)
    ctx.screenshot(run, "completed")
    finish(ctx, run)
    check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES)
    check_no_leftovers(prefix)


def expect_one_panel_no_box(ctx, run):
    windows = [title for _, title in run.visible_windows()]
    boxes = [title for title in windows if title in (ERROR_TITLE, NOTICE_TITLE)]
    if windows.count(PANEL_TITLE) > 1 or boxes:
        ctx.screenshot(run, "second-window")
        raise ScenarioFailure(f"two setups at once show {windows}")


SCENARIOS = {
    "two_setups": two_setups,
    "squatter": squatter,
}
