"""The harness proves itself on a small program of its own before it drives the setup: a Hangul
window title is found, access keys and Esc reach the window, a message box is seen and
dismissed, the program's end is noticed, and a file it writes shows up on the host."""

from fenntest.patience import wait_until
from fenntest.errors import ScenarioFailure

TITLE = "프로브 창"


def probe(ctx, outputs):
    prefix = ctx.new_prefix()
    marker = prefix.host_path("C:\\fenn-e2e\\probe.marker")

    # Esc is the window's cancel button: a notice, then the end.
    run = ctx.start_program(prefix, outputs.probe)
    panel = run.wait_for_window(TITLE)
    run.press(panel, "Escape")
    box = run.wait_for_window("알림", timeout=20)
    ctx.screenshot(run, "notice")
    run.press(box, "Return")
    run.wait_exit()
    if marker.exists():
        raise ScenarioFailure("Esc wrote the marker that only Alt+R should write")

    # Alt+R clicks the button labelled "실행(&R)".
    run = ctx.start_program(prefix, outputs.probe)
    panel = run.wait_for_window(TITLE)
    run.press(panel, "alt+r")
    run.wait_exit()
    wait_until(marker.exists, 10, "the marker written by Alt+R")

    # A program that shows only a message box and ends after it.
    run = ctx.start_program(prefix, outputs.probe, ["fail"])
    box = run.wait_for_window("에러")
    if run.find_window(TITLE):
        raise ScenarioFailure("the window appeared although only the box should")
    ctx.screenshot(run, "error")
    run.press(box, "Return")
    run.wait_exit()


SCENARIOS = {"probe": probe}
