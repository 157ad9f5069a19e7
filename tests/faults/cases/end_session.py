"""A logoff while the setup runs: Windows asks the panel (WM_QUERYENDSESSION), tells it the
session ends (WM_ENDSESSION, TRUE) and then ends the process. The staged codec library would stay
in the system directory for good, so the setup schedules its deletion for the next start."""

import os
import signal
import subprocess
import time

from faultlib.helper import FaultHelper
from fenntest.errors import ScenarioFailure
from fenntest.flow import SetupUnderTest, staged_codec
from fenntest.product import (DEFAULT_FOLDER, PANEL_TITLE, STAGED_CODEC, SYSTEM_LIBRARIES,
                              lay_out_product)
from fenntest.watch import IN_CREATE, FolderWatch

SESSION_MANAGER = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager"
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
        helper = FaultHelper(ctx, prefix)
        if run_logoff(ctx, prefix, setup, helper):
            break
        ctx.log(f"attempt {attempt}: every codec call ended before the setup was stopped")
        prefix.shutdown()
    else:
        raise ScenarioFailure(f"the setup was never stopped inside a codec call in {ATTEMPTS} "
                              "runs")

    pending = pending_deletions(prefix)
    ctx.log(f"{PENDING}: {pending!r}")
    if STAGED_CODEC.lower() not in pending.lower():
        raise ScenarioFailure(f"{STAGED_CODEC} is not in the pending deletions: {pending!r}")
    if staged_codec(prefix) is None:
        raise ScenarioFailure(f"{STAGED_CODEC} is gone although the run was ended in the middle")
    prefix.shutdown()
    prefix.wine(["wineboot", "-r"])
    prefix.wait_idle()
    if staged_codec(prefix) is not None:
        raise ScenarioFailure(f"{STAGED_CODEC} outlived a restart of the system")
    prefix.shutdown()


def run_logoff(ctx, prefix, setup, helper):
    """One run; False when no codec call could be caught."""
    watch = FolderWatch(prefix.temp_dir, IN_CREATE, follow_new_folders=True)
    try:
        run = ctx.start_program(prefix, setup.exe, as_name="FennSetup.exe")
        pids = run.program_pids()
        deadline = time.monotonic() + 90
        while True:
            copy = watch.wait_for_match(lambda name: name.lower().startswith("~md"), IN_CREATE,
                                        deadline)
            if copy is None:
                return False
            for pid in pids:
                os.kill(pid, signal.SIGSTOP)
            # The codec makes its copy in the setup's private folder, the temp folder of the run.
            if any(prefix.temp_dir.glob(f"*/{copy}")) or (prefix.temp_dir / copy).exists():
                break  # stopped while the codec works on its copy
            for pid in pids:
                os.kill(pid, signal.SIGCONT)
    finally:
        watch.close()
    ctx.log(f"stopped inside a codec call (its copy {copy} exists); staged: "
            f"{staged_codec(prefix) is not None}")
    sender, ready, answer = helper.end_session(PANEL_TITLE)
    deadline = time.monotonic() + 60
    while not ready.exists():
        if sender.poll() is not None or time.monotonic() > deadline:
            raise ScenarioFailure("the helper did not find the panel")
        time.sleep(0.05)
    time.sleep(0.5)  # the query is on its way; only the codec's pump can answer it
    for pid in pids:
        os.kill(pid, signal.SIGCONT)
    try:
        sender.wait(timeout=60)
    except subprocess.TimeoutExpired:
        raise ScenarioFailure("the panel did not answer the logoff's messages within 60s")
    if sender.returncode != 0 or not answer.exists():
        raise ScenarioFailure(f"the helper failed (exit code {sender.returncode})")
    ctx.log(f"logoff sent; the panel answered {answer.read_text().strip()!r}")
    if answer.read_text().split() != ["query", "1"]:
        raise ScenarioFailure("WM_QUERYENDSESSION was refused: a setup must never block a logoff")
    for pid in run.program_pids():  # what Windows does once WM_ENDSESSION has returned
        os.kill(pid, signal.SIGKILL)
    run.wait_exit()
    return True


def pending_deletions(prefix):
    result = subprocess.run(["wine", "reg", "query", SESSION_MANAGER, "/v", PENDING],
                            env=prefix.env(), capture_output=True, timeout=120)
    # reg writes through the console's code page (949 here).
    return result.stdout.decode("cp949", "replace")


SCENARIOS = {
    "logoff_in_codec_call": logoff_in_codec_call,
}
