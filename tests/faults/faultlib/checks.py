"""What every fault scenario checks: the box a person sees (its exact text, read through the window
system), that the panel completes or the run ends as it should, and what the run left on disk."""

import os
import time

from fenntest.errors import ScenarioFailure
from fenntest.product import PANEL_TITLE, leftover_temp_files, snapshot
from fenntest.flow import ERROR_TITLE, NOTICE_TITLE, expect_same

COMPLETED_TEXT = "설치를 완료하였습니다."
FINISH_CAPTION = "완료(&F)"
NOT_FOUND_TEXT = "톨바리네를 찾을 수 없습니다.\r\n톨바리네를 다시 설치해 주십시오."
CANNOT_MAKE_TEMP = "새 리소스를 만들 수 없습니다."
DECOMPRESS_FAILED = "압축을 푸는데 에러가 발생했습니다."
CANNOT_PLACE_FILE = "리소스를 추가할 수 없습니다. 파일 쓰는데 오류가 발생했습니다."


def expect_error_box(ctx, run, helper, text, label, timeout=90):
    """The one box titled "에러" carries exactly this text; a screenshot, then Return."""
    box = run.wait_for_window(ERROR_TITLE, timeout=timeout)
    texts = helper.window_texts(ERROR_TITLE, timeout=20)
    ctx.screenshot(run, label)
    if texts is None or text not in texts:
        raise ScenarioFailure(f'the box "{ERROR_TITLE}" should say {text!r}; it shows {texts}')
    ctx.log(f'box "{ERROR_TITLE}": {text!r}')
    run.press(box, "Return")
    run.wait_for_no_window(ERROR_TITLE)


def expect_completed(ctx, run, helper, timeout=90):
    """The panel reaches its completed state (step text 6, the Finish caption); a message box or
    the end of the program on the way fails at once. Returns the seconds it took from the call."""
    started = time.monotonic()
    while True:
        texts = helper.window_texts(PANEL_TITLE, timeout=2, required_child=FINISH_CAPTION)
        took = time.monotonic() - started
        if texts is not None:
            break
        unexpected = [t for t in (ERROR_TITLE, NOTICE_TITLE) if run.find_window(t)]
        if unexpected or run.exited() or took > timeout:
            label = "unexpected-box" if unexpected else "not-completed"
            ctx.screenshot(run, label)
            raise ScenarioFailure(f"the panel did not reach its completed state ({took:.0f}s); "
                                  f"visible: {[t for _, t in run.visible_windows()]}")
    if COMPLETED_TEXT not in texts:
        raise ScenarioFailure(f"the completed panel shows {texts}, not {COMPLETED_TEXT!r}")
    if run.count_windows(ERROR_TITLE):
        raise ScenarioFailure("a further error box came up")
    return took


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
