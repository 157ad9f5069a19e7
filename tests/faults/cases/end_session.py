"""A logoff while the setup runs: Windows asks the panel (WM_QUERYENDSESSION), tells it the
session ends (WM_ENDSESSION, TRUE) and then ends the process. The staged codec library would stay
in the system directory for good, so the setup schedules its deletion for the next start."""

import signal
import time

from fenntest.errors import ScenarioFailure
from fenntest.patience import patience, wait_until
from fenntest.flow import SetupUnderTest, codec_deletion_pending, staged_codec
from fenntest.product import (DEFAULT_FOLDER, PANEL_TITLE, STAGED_CODEC, SYSTEM_LIBRARIES,
                              lay_out_product)
from fenntest.watch import IN_CREATE, FolderWatch

PENDING = "PendingFileRenameOperations"
# A codec call lasts milliseconds; a run whose stop came after the call is repeated.
ATTEMPTS = 5


def logoff_in_codec_call(ctx, outputs):
    """The setup is stopped inside a codec call (the codec's own temporary copy "~md*" exists),
    a logoff's two messages are sent to the panel, and it is let go: the codec's message pump
    answers them. Ended after WM_ENDSESSION as Windows would end it, the run leaves the staged
    library listed in the registry's pending deletions, and a restart removes it."""
    setup = SetupUnderTest(outputs.setup)
    for attempt in range(1, ATTEMPTS + 1):
        prefix = ctx.new_prefix(f"attempt-{attempt}")
        for name in SYSTEM_LIBRARIES:  # four payloads: four codec calls to catch
            (prefix.system32 / name).unlink()
        lay_out_product(prefix.host_path(DEFAULT_FOLDER))
        if run_logoff(ctx, prefix, setup, ctx.helper(prefix)):
            break
        ctx.log(f"attempt {attempt}: every codec call ended before the setup was stopped")
        prefix.shutdown()
    else:
        raise ScenarioFailure(f"the setup was never stopped inside a codec call in {ATTEMPTS} "
                              "runs")

    pending = prefix.pending_restart_work()
    ctx.log(f"{PENDING}: {pending!r}")
    if not codec_deletion_pending(pending):
        raise ScenarioFailure(f"{STAGED_CODEC} is not in the pending deletions: {pending!r}")
    if staged_codec(prefix) is None:
        raise ScenarioFailure(f"{STAGED_CODEC} is gone although the run was ended in the middle")
    prefix.restart()
    if staged_codec(prefix) is not None:
        raise ScenarioFailure(f"{STAGED_CODEC} outlived a restart of the system")
    prefix.shutdown()


def run_logoff(ctx, prefix, setup, helper):
    """One run; False when no codec call could be caught."""
    watch = FolderWatch(prefix.temp_dir, IN_CREATE, follow_new_folders=True)
    try:
        run = ctx.start_program(prefix, setup.exe, as_name="FennSetup.exe")
        deadline = time.monotonic() + patience(90)
        while True:
            copy = watch.wait_for_match(lambda name: name.lower().startswith("~md"), IN_CREATE,
                                        deadline)
            if copy is None:
                return False
            run.signal(signal.SIGSTOP)
            # The codec makes its copy in the setup's private folder, the temp folder of the run.
            if any(prefix.temp_dir.glob(f"*/{copy}")) or (prefix.temp_dir / copy).exists():
                break  # stopped while the codec works on its copy
            run.signal(signal.SIGCONT)
    finally:
        watch.close()
    ctx.log(f"stopped inside a codec call (its copy {copy} exists); staged: "
            f"{staged_codec(prefix) is not None}")
    sender, ready, answer = helper.end_session(PANEL_TITLE)

    def found():
        if sender.poll() is not None:
            raise ScenarioFailure("the helper ended without finding the panel")
        return ready.exists()

    wait_until(found, 60, "the helper finding the panel", interval=0.05)
    # The query is on its way and only the codec's pump can answer it. The helper cannot say when
    # its send has reached the stopped program; this wait grows with the machine's slowness.
    time.sleep(patience(0.5))
    run.signal(signal.SIGCONT)
    wait_until(lambda: sender.poll() is not None, 60, "the panel's answers to the logoff")
    if sender.returncode != 0 or not answer.exists():
        raise ScenarioFailure(f"the helper failed (exit code {sender.returncode})")
    ctx.log(f"logoff sent; the panel answered {answer.read_text().strip()!r}")
    said = answer.read_text().split()
    if said[:2] != ["query", "1"]:
        raise ScenarioFailure("WM_QUERYENDSESSION was refused: a setup must never block a logoff")
    if said[2:] != ["ended", "1"]:
        raise ScenarioFailure("the helper could not end the setup after WM_ENDSESSION")
    run.wait_exit()
    return True


SCENARIOS = {
    "logoff_in_codec_call": logoff_in_codec_call,
}
