"""The steps every setup scenario shares: start the setup, see it complete or fail, end it, and
check what it left on disk."""

import os
import time

from .errors import ScenarioFailure
from .patience import wait_until
from .payloads import read_payloads, unix_ns
from .product import (PANEL_TITLE, STAGED_CODEC, find_case_insensitive,
                             leftover_temp_files)

ERROR_TITLE = "에러"
NOTICE_TITLE = "알림"
COMPLETED_TEXT = "설치를 완료하였습니다."
FINISH_CAPTION = "완료(&F)"
NOT_FOUND_TEXT = "톨바리네를 찾을 수 없습니다.\r\n톨바리네를 다시 설치해 주십시오."
CANNOT_MAKE_TEMP = "새 리소스를 만들 수 없습니다."
DECOMPRESS_FAILED = "압축을 푸는데 에러가 발생했습니다."
CANNOT_PLACE_FILE = "리소스를 추가할 수 없습니다. 파일 쓰는데 오류가 발생했습니다."
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


def codec_deletion_pending(pending):
    """Whether the staged library is among the deletions at the next start (the texts
    prefix.pending_restart_work() gives)."""
    return any(entry.lower().endswith("\\" + STAGED_CODEC.lower()) for entry in pending)


def wait_for_files(folder, names, timeout=90):
    wait_until(lambda: all((folder / n).is_file() for n in names), timeout,
               f"installed files {names} in {folder}")


def wait_completed(ctx, run, prefix=None, product_dir=None, expect_installed=(),
                   codec_preexisting=False, timeout=90):
    """Waits for the panel's completed state: its button reads the Finish caption and its step
    text says so, which the run shows only after every file is placed and the codec library is
    released. A message box or the end of the program on the way fails at once. Then the named
    payloads are in product_dir and the staged library is gone (unless it was there before).
    Returns the seconds it took from the call."""
    started = time.monotonic()
    texts = ctx.helper(run.prefix).start_texts(PANEL_TITLE, timeout, required_child=FINISH_CAPTION)

    def completed():
        titles = run.titles()
        boxes = [t for t in titles if t in (ERROR_TITLE, NOTICE_TITLE)]
        answer = texts()
        if boxes or answer is False or (answer is None and run.exited()):
            ctx.screenshot(run, "unexpected-box" if boxes else "not-completed")
            raise ScenarioFailure(f"the panel did not reach its completed state "
                                  f"({time.monotonic() - started:.0f}s); visible: {titles}; "
                                  f"text helper: {texts.status()}")
        return answer

    answer = wait_until(completed, timeout + 60, "the completed panel")
    took = time.monotonic() - started
    if COMPLETED_TEXT not in answer:
        raise ScenarioFailure(f"the completed panel shows {answer}, not {COMPLETED_TEXT!r}")
    if product_dir is not None:
        missing = [n for n in expect_installed if not (product_dir / n).is_file()]
        if missing:
            raise ScenarioFailure(f"completed without {missing} in {product_dir}")
    if not codec_preexisting and staged_codec(prefix or run.prefix) is not None:
        raise ScenarioFailure(f"completed with {STAGED_CODEC} still in the system directory")
    return took


def finish(ctx, run, key="Escape"):
    """Ends a completed run with Esc, Alt+F or a close request (Alt+F4): no notice may come up,
    and the program ends."""
    run.press(run.wait_for_window(PANEL_TITLE), key)

    def ended():
        if run.find_window(NOTICE_TITLE):
            ctx.screenshot(run, "notice-after-finish")
            raise ScenarioFailure(f"{key} on the completed panel showed the cancel notice: "
                                  "the setup had not reached its completed state")
        return run.exited()

    wait_until(ended, 30, f"the end of the program after {key}")


def ended_after_box(ctx, run, timeout=30):
    """After a failure box the program ends by itself: the completion panel, which waits for the
    person, never comes; nor does a further box."""

    def ended():
        if run.find_window(ERROR_TITLE):
            ctx.screenshot(run, "second-box")
            raise ScenarioFailure("a further error box came up after the first")
        return run.exited()

    try:
        wait_until(ended, timeout, "the end of the program after the box")
    except ScenarioFailure:
        ctx.screenshot(run, "not-ended")
        raise


def dismiss_box(ctx, run, title, label, text=None, timeout=60):
    """Waits for a message box, checks its text when one is given (read through the window
    system), screenshots it, answers it with Return and waits for it to go."""
    box = run.wait_for_window(title, timeout=timeout)
    texts = ctx.helper(run.prefix).window_texts(title, timeout=20) if text is not None else None
    ctx.screenshot(run, label)
    if text is not None:
        if texts is None or text not in texts:
            raise ScenarioFailure(f'the box "{title}" should say {text!r}; it shows {texts}')
        ctx.log(f'box "{title}": {text!r}')
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
