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

SECOND_ENDS_WITHIN = 30


def two_setups(ctx, outputs):
    """Exactly one panel and never a box; the second process ends by itself; all four payloads
    are installed whole, and neither a temporary file nor the staged library is left."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    for name in SYSTEM_LIBRARIES:
        (prefix.system32 / name).unlink()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))

    first, _ = ctx.start_together(prefix, setup.exe, 2, as_name="FennSetup.exe")
    seen = set()
    most_running = 0

    def one_left():
        nonlocal most_running
        running = first.program_pids()
        seen.update(running)
        most_running = max(most_running, len(running))
        if len(seen) >= 2 and len(running) == 1 and first.find_window(PANEL_TITLE):
            return True
        expect_one_panel_no_box(ctx, first)
        return False

    wait_until(one_left, SECOND_ENDS_WITHIN, lambda: f"one of {len(seen)} setups left running "
               f"(visible: {first.titles()})", interval=0.1)
    ctx.log(f"setups seen running at once: {most_running}; one is left")
    if most_running < 2:
        raise ScenarioFailure("the two setups never ran at the same time: nothing was tested")

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
