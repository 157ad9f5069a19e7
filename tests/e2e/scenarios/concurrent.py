"""Two setups started at the same moment on one prefix: one of them brings the other's panel to
the front and ends; the other installs everything."""

from fenntest.errors import ScenarioFailure
from fenntest.patience import wait_until
from fenntest.flow import (ERROR_TITLE, NOTICE_TITLE, SetupUnderTest, check_installed,
                           check_no_leftovers, finish, wait_completed)
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


def expect_one_panel_no_box(ctx, run):
    windows = [title for _, title in run.visible_windows()]
    boxes = [title for title in windows if title in (ERROR_TITLE, NOTICE_TITLE)]
    if windows.count(PANEL_TITLE) > 1 or boxes:
        ctx.screenshot(run, "second-window")
        raise ScenarioFailure(f"two setups at once show {windows}")


SCENARIOS = {
    "two_setups": two_setups,
}
