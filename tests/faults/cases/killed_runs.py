"""The setup killed (SIGKILL of its process) at three moments, then run again on the same prefix;
and held at a moment (SIGSTOP) while another program acts on its product folder.
The product folder lies on D:, a tmpfs under /dev/shm: another file system than the prefix and
its temp folder, so every payload is copied across volumes.

After each kill no payload's name holds part of a file, and a "CompVLib.DLL" left in the system
directory has its deletion at the next start pending. The next run completes: every payload is
installed byte for byte with its recorded times, the killed run's partial copy is gone, and so is
the library. The setup is held at each moment through inotify (the file that marks the moment is
created) and SIGSTOP, then killed, so that small payloads do."""

import os
import shutil
import signal
import tempfile
from pathlib import Path

from fenntest.errors import Unsupported
from fenntest.errors import ScenarioFailure
from fenntest.flow import (CANNOT_PLACE_FILE, ERROR_TITLE, SetupUnderTest, check_installed,
                           codec_deletion_pending, dismiss_box, ended_after_box, finish,
                           staged_codec, start_setup, wait_completed)
from fenntest.product import (PAYLOAD_NAMES, REGISTRY_KEY, REGISTRY_VALUE, STAGED_CODEC,
                              SYSTEM_LIBRARIES, lay_out_product, leftover_temp_files)
from fenntest.watch import IN_CREATE, start_held

PRODUCT_FOLDER = "D:\\톨바리네 2000"
ADMINS_FOLDER = "D:\\Admins\\톨바리네 2000"
ADMINS_FILE = b"a file that only administrators may change\r\n"
SOMEONES_FILE = b"someone else's file\r\n"
ERROR_SHARING_VIOLATION = 32
FILE_ATTRIBUTE_HIDDEN = 0x2
PARTIAL_PREFIX = "~fennsetup-"
PARTIAL_SUFFIX = ".partial"
HOLD_SECONDS = 60


class KilledMachine:
    """A prefix with the product on a tmpfs drive D:, without the two system libraries (so all
    four payloads are installed)."""

    def __init__(self, ctx, outputs):
        self.ctx = ctx
        self.setup = SetupUnderTest(outputs.setup)
        self.prefix = ctx.new_prefix()
        try:
            shm = Path(tempfile.mkdtemp(prefix="fenn-killed-", dir="/dev/shm"))
        except OSError as error:
            raise Unsupported(f"no folder in /dev/shm for a second volume ({error})")
        ctx.on_close(lambda: shutil.rmtree(shm, ignore_errors=True), after_wine=True)
        if os.stat(shm).st_dev == os.stat(self.prefix.path).st_dev:
            raise Unsupported("/dev/shm is on the prefix's file system: no second volume")
        self.prefix.map_fixed_drives({"d": shm}, ctx.work)
        self.prefix.set_user_value(REGISTRY_KEY, REGISTRY_VALUE, PRODUCT_FOLDER, ctx.work)
        self.product = lay_out_product(self.prefix.host_path(PRODUCT_FOLDER))
        for name in SYSTEM_LIBRARIES:
            (self.prefix.system32 / name).unlink()

    def run_until(self, folder, marks, label):
        """Starts the setup, stops it the moment a file for which marks(name) holds is created
        in folder or in a folder made in it, and kills it there."""
        run = self.stop_at(folder, marks, label)
        run.signal(signal.SIGKILL)
        run.wait_exit()
        return run

    def stop_at(self, folder, marks, label):
        """Starts the setup and stops it (SIGSTOP) the moment a file for which marks(name) holds
        is created in folder or in a folder made in it; the stopped run."""
        run, _ = start_held(self.ctx, self.prefix, self.setup.exe, folder, marks, IN_CREATE,
                            label, HOLD_SECONDS, follow_new_folders=True)
        return run

    def state(self):
        """What the three folders hold, in words for the log."""
        staged = staged_codec(self.prefix)
        pending = codec_deletion_pending(self.prefix.pending_restart_work())
        product = sorted(p.name + (f" ({p.stat().st_size} bytes)"
                                   if p.name.lower().startswith(PARTIAL_PREFIX) else "")
                         for p in self.product.iterdir())
        return (f"product folder {product}; temp {leftover_temp_files(self.prefix.temp_dir)}; "
                f"system directory: {STAGED_CODEC} "
                f"{'present' if staged else 'absent'}, deletion at restart "
                f"{'pending' if pending else 'not pending'}"), staged, pending

    def expect_nothing_half_done(self, label):
        described, staged, pending = self.state()
        self.ctx.log(f"{label}, after the kill: {described}")
        problems = []
        for payload in self.setup.payloads:
            path = self.product / payload.name
            if not path.exists():
                continue
            # A kill that came late finds a payload already placed, which the next run keeps:
            # this read must not move the access time that run's check compares.
            info = path.stat()
            whole = path.read_bytes() == payload.content
            os.utime(path, ns=(info.st_atime_ns, info.st_mtime_ns))
            if not whole:
                problems.append(f"{payload.name} is there but not whole "
                                f"({info.st_size} of {len(payload.content)} bytes)")
        if staged is not None and not pending and staged.stat().st_size > 0:
            problems.append(f"{STAGED_CODEC} is left without its deletion at restart")
        if problems:
            raise ScenarioFailure(f"{label}: " + "; ".join(problems))

    def restart(self):
        """Windows starts again: the deletions asked for at restart are carried out."""
        self.prefix.restart()
        staged = staged_codec(self.prefix)
        if staged is not None and staged.stat().st_size > 0:
            raise ScenarioFailure(f"{STAGED_CODEC} outlived a restart of the system")
        self.ctx.log("restarted: the staged library is gone")

    def expect_next_run_completes(self, label):
        run = start_setup(self.ctx, self.prefix, self.setup)
        wait_completed(self.ctx, run, self.prefix, self.product, PAYLOAD_NAMES)
        self.ctx.screenshot(run, f"{label}-rerun-completed")
        finish(self.ctx, run)
        described, staged, _ = self.state()
        self.ctx.log(f"{label}, after the next run: {described}")
        check_installed(self.setup, self.product, PAYLOAD_NAMES)
        partial = [p.name for p in self.product.iterdir()
                   if p.name.lower().startswith(PARTIAL_PREFIX)]
        if partial:
            raise ScenarioFailure(f"{label}: partial copies left after the next run: {partial}")
        if staged is not None:
            raise ScenarioFailure(f"{label}: {STAGED_CODEC} is left after the next run")


def killed_after_staging(ctx, outputs):
    """Killed as the first container is written to the temp folder: the library is staged and
    loaded, nothing is installed yet. The next run recognises the library as its own leftover by
    its pending deletion, uses it and removes it."""
    machine = KilledMachine(ctx, outputs)
    machine.run_until(machine.prefix.temp_dir, lambda name: name.lower().startswith("~oc"),
                      "after staging")
    if staged_codec(machine.prefix) is None:
        raise ScenarioFailure("the library was not staged when the first container was written")
    machine.expect_nothing_half_done("after staging")
    machine.expect_next_run_completes("after-staging")


def killed_in_decompression(ctx, outputs):
    """Killed as the codec creates the output of the first payload (the largest, the debug
    library), then the system restarts before the next run."""
    machine = KilledMachine(ctx, outputs)
    machine.run_until(machine.prefix.temp_dir, lambda name: name.lower().endswith(".tmp.bin"),
                      "in decompression")
    machine.expect_nothing_half_done("in decompression")
    machine.restart()
    machine.expect_next_run_completes("in-decompression")


def killed_in_copy(ctx, outputs):
    """Killed as the first payload's copy is created in the product folder on the other volume:
    the copy is under its partial name, never under the payload's."""
    machine = KilledMachine(ctx, outputs)
    machine.run_until(machine.product, lambda name: name.lower().startswith(PARTIAL_PREFIX),
                      "in the copy")
    machine.expect_nothing_half_done("in the copy")
    machine.expect_next_run_completes("in-copy")


def swap_after_verification(ctx, outputs):
    """The setup is held as it writes its first container: it has verified the product folder and
    holds it. A user's program then tries to put a link to an administrators' folder in its place,
    which starts with renaming it: refused, the folder is held without sharing its deletion. The
    run goes on in the verified folder, every payload lands there, and the administrators' folder,
    which holds a file under the setup's partial name, keeps it unchanged."""
    machine = KilledMachine(ctx, outputs)
    admins = machine.prefix.host_path(ADMINS_FOLDER)
    admins.mkdir(parents=True)
    planted = admins / "~FennSetup-K3Fenn.exe.partial"
    planted.write_bytes(ADMINS_FILE)
    helper = ctx.helper(machine.prefix)
    run = machine.stop_at(machine.prefix.temp_dir,
                          lambda name: name.lower().startswith("~oc"), "after verification")
    answer = helper.move(PRODUCT_FOLDER, PRODUCT_FOLDER + ".old")
    ctx.log(f"a user's program renames the held product folder: {answer}")
    run.signal(signal.SIGCONT)
    if answer != f"refused {ERROR_SHARING_VIOLATION}":
        raise ScenarioFailure(f"renaming the held product folder: {answer}")
    wait_completed(ctx, run, machine.prefix, machine.product, PAYLOAD_NAMES)
    finish(ctx, run)
    check_installed(machine.setup, machine.product, PAYLOAD_NAMES)
    if sorted(p.name for p in admins.iterdir()) != [planted.name] or \
            planted.read_bytes() != ADMINS_FILE:
        raise ScenarioFailure(f"the administrators' folder changed: {os.listdir(admins)}")


def hidden_partial(ctx, outputs):
    """A hidden file stands under the partial name of the first payload in the product folder (on
    another volume, where payloads are copied). The setup never makes a hidden file, so the clean-up
    of partial copies leaves it; the copy cannot be made under that name, and the move box comes
    up. The hidden file is still there, byte for byte, and nothing is installed."""
    machine = KilledMachine(ctx, outputs)
    hidden = machine.product / "~FennSetup-CompLib.dll.partial"
    hidden.write_bytes(SOMEONES_FILE)
    os.setxattr(hidden, "user.DOSATTRIB", b"0x2")  # Wine keeps DOS attributes there
    helper = ctx.helper(machine.prefix)
    attributes = helper.attributes(f"{PRODUCT_FOLDER}\\{hidden.name}").split()
    if len(attributes) < 2 or not int(attributes[1], 16) & FILE_ATTRIBUTE_HIDDEN:
        raise ScenarioFailure(f"the planted file is not hidden: {attributes}")
    run = start_setup(ctx, machine.prefix, machine.setup)
    dismiss_box(ctx, run, ERROR_TITLE, "hidden-partial", CANNOT_PLACE_FILE, timeout=90)
    ended_after_box(ctx, run)
    if hidden.read_bytes() != SOMEONES_FILE:
        raise ScenarioFailure("the hidden file under the partial name was changed or deleted")
    installed = [name for name in PAYLOAD_NAMES if (machine.product / name).exists()]
    if installed:
        raise ScenarioFailure(f"installed despite the box: {installed}")


SCENARIOS = {
    "swap_after_verification": swap_after_verification,
    "hidden_partial": hidden_partial,
    "killed_after_staging": killed_after_staging,
    "killed_in_decompression": killed_in_decompression,
    "killed_in_copy": killed_in_copy,
}
