"""The steps every setup scenario shares: start the setup, see it complete or fail, end it, and
check what it left on disk."""

import os
import time

from .context import wait_until
from .errors import ScenarioFailure
from .patience import patience
from .payloads import read_payloads, unix_ns
from .product import (PANEL_TITLE, STAGED_CODEC, find_case_insensitive,
                             leftover_temp_files)

ERROR_TITLE = "에러"
NOTICE_TITLE = "알림"
# A fresh Wine prefix has both system libraries, so only these two are installed.
WITHOUT_SYSTEM_LIBRARIES = ["CompLib.dll", "K3Fenn.exe"]


class SetupUnderTest:
    """One FennSetup.exe (the build's, or a damaged copy) and the payloads it carries."""

    def __init__(self, exe):
        self.exe = exe
        self.payloads = read_payloads(exe)

    def payload(self, name):
        return next(p for p in self.payloads if p.name == name)


def start_setup(ctx, prefix, setup):
    run = ctx.start_program(prefix, setup.exe, as_name="FennSetup.exe")
    run.wait_for_window(PANEL_TITLE)
    return run


def staged_codec(prefix):
    return find_case_insensitive(prefix.system32, STAGED_CODEC)


def wait_for_files(folder, names, timeout=90):
    wait_until(lambda: all((folder / n).is_file() for n in names), timeout,
               f"installed files {names} in {folder}")


def wait_completed(ctx, run, prefix, product_dir, expect_installed, codec_preexisting=False,
                   timeout=90):
    """Waits until the run has placed its files and released the codec, and the panel is up.

    Completion itself shows only on screen; the scenarios prove it when they end the run: Esc
    after completion ends the program without the cancel notice. A message box or the end of
    the program on the way fails the scenario at once."""

    def done():
        unexpected = [t for t in (ERROR_TITLE, NOTICE_TITLE) if run.find_window(t)]
        if unexpected:
            ctx.screenshot(run, "unexpected-box")
            raise ScenarioFailure(f"a message box {unexpected} came up in a run that should "
                                  f"reach completion")
        if run.exited():
            raise ScenarioFailure("the program ended before it completed")
        if not all((product_dir / n).is_file() for n in expect_installed):
            return False
        return codec_preexisting or staged_codec(prefix) is None

    wait_until(done, timeout, f"installed files {expect_installed} in {product_dir} and "
               f"{STAGED_CODEC} removed again")
    time.sleep(1.0)  # the last step text and the button captions follow the release
    done()
    if not run.find_window(PANEL_TITLE):
        raise ScenarioFailure("the panel is gone after the installation; it should stay up")


def finish(ctx, run, key="Escape"):
    """Ends a completed run with Esc, Alt+F or a close request (Alt+F4): no notice may come up,
    and the program ends.

    Alt+F names no button before completion (the caption is still "취소(&C)"), so it is pressed
    again until the program ends: a run with nothing to install shows no sign on disk of having
    completed."""
    panel = run.wait_for_window(PANEL_TITLE)
    run.press(panel, key)
    deadline = time.monotonic() + patience(30)
    next_press = time.monotonic() + 2
    while not run.exited():
        if run.find_window(NOTICE_TITLE):
            ctx.screenshot(run, "notice-after-finish")
            raise ScenarioFailure(f"{key} on the completed panel showed the cancel notice: "
                                  "the setup had not reached its completed state")
        now = time.monotonic()
        if now > deadline:
            raise ScenarioFailure(f"the program did not end after {key}")
        if key == "alt+f" and now > next_press and run.find_window(PANEL_TITLE):
            try:
                run.press(panel, key)
            except ScenarioFailure:
                pass  # the panel went away between the look and the press: it is ending
            next_press = now + 2
        time.sleep(0.3)


def ended_after_box(ctx, run, timeout=30):
    """After a failure box the program ends by itself: the completion panel, which waits for the
    person, never comes; nor does a further box."""
    timeout = patience(timeout)
    deadline = time.monotonic() + timeout
    while not run.exited():
        if run.find_window(ERROR_TITLE):
            ctx.screenshot(run, "second-box")
            raise ScenarioFailure("a further error box came up after the first")
        if time.monotonic() > deadline:
            ctx.screenshot(run, "not-ended")
            raise ScenarioFailure(f"the program did not end within {timeout}s of the box; "
                                  f"visible: {[t for _, t in run.visible_windows()]}")
        time.sleep(0.3)


def dismiss_box(ctx, run, title, label):
    """Screenshots a message box, answers it with Return and waits for it to go."""
    box = run.wait_for_window(title)
    ctx.screenshot(run, label)
    run.press(box, "Return")
    run.wait_for_no_window(title)


def check_installed(setup, product_dir, names, access_times=True, recorded=None):
    """Each named payload is installed byte for byte with the last-write and last-access times
    of its trailer (the host keeps no creation time); the others are absent. Access times are
    only compared while nothing has run or read an installed file since the setup. recorded
    (name -> creation, last access, last write FILETIMEs) adds the times the product's table
    records, which the trailers must have carried."""
    problems = []
    for payload in setup.payloads:
        path = product_dir / payload.name
        if payload.name not in names:
            if path.exists():
                problems.append(f"{payload.name} was installed but should have been skipped")
            continue
        if not path.is_file():
            problems.append(f"{payload.name} is missing")
            continue
        info = os.stat(path)  # before the read below moves the access time
        if info.st_mtime_ns != payload.last_write_ns:
            problems.append(f"{payload.name} last written {info.st_mtime_ns} ns, trailer says "
                            f"{payload.last_write_ns} ns")
        if access_times and info.st_atime_ns != payload.last_access_ns:
            problems.append(f"{payload.name} last accessed {info.st_atime_ns} ns, trailer says "
                            f"{payload.last_access_ns} ns")
        if recorded is not None:
            problems += recorded_time_problems(payload.name, info, recorded.get(payload.name))
        if path.read_bytes() != payload.content:
            problems.append(f"{payload.name} differs from payload {payload.resource_id}")
    if problems:
        raise ScenarioFailure("; ".join(problems))


def recorded_time_problems(name, info, times):
    if times is None:
        return [f"the payload table has no {name}"]
    _, access, write = (unix_ns(t) for t in times)
    found = []
    if info.st_mtime_ns != write:
        found.append(f"{name} last written {info.st_mtime_ns} ns, the payload table says {write}")
    if info.st_atime_ns != access:
        found.append(f"{name} last accessed {info.st_atime_ns} ns, the payload table says "
                     f"{access}")
    return found


def check_no_leftovers(prefix):
    problems = []
    temp = leftover_temp_files(prefix.temp_dir)
    if temp:
        problems.append(f"temporary files left in {prefix.temp_dir}: {temp}")
    if staged_codec(prefix) is not None:
        problems.append(f"{STAGED_CODEC} left in the system directory")
    if problems:
        raise ScenarioFailure("; ".join(problems))


def expect_same(before, after, what):
    if before != after:
        changed = sorted(set(before.items()) ^ set(after.items()))
        raise ScenarioFailure(f"{what} changed: {changed}")
