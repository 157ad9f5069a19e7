"""FaultHelper.exe (helper/FaultHelper.cpp) in a scenario's prefix: a second Windows process that
holds files and reads the texts of the setup's windows."""

import shutil
import subprocess
import time
from pathlib import Path

from fenntest.desktop import DESKTOP_NAME
from fenntest.errors import ScenarioFailure

HELPER_FOLDER = "C:\\fenn-faults"


def helper_exe(build_dir):
    path = Path(build_dir).resolve() / "tests" / "faults" / "FaultHelper.exe"
    if not path.is_file():
        raise ScenarioFailure(f"{path} not found; build the win64 preset first")
    return path


class Holder:
    """A helper process that holds one file until stop()."""

    def __init__(self, proc, ready, name):
        self.proc = proc
        self.ready = ready
        self.name = name

    def wait_ready(self, timeout):
        deadline = time.monotonic() + timeout
        while not self.ready.exists():
            if self.proc.poll() is not None:
                raise ScenarioFailure(f"the helper holding {self.name} ended "
                                      f"(exit code {self.proc.returncode}) before it held it")
            if time.monotonic() > deadline:
                raise ScenarioFailure(f"the helper did not hold {self.name} within {timeout}s")
            time.sleep(0.02)

    @property
    def holding(self):
        return self.ready.exists() and self.proc.poll() is None

    def stop(self):
        if self.proc.poll() is not None:
            return
        stop_file = self.ready.with_name(self.ready.name + ".stop")
        stop_file.write_bytes(b"")
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()  # our own child, by its process id
            self.proc.wait()


class FaultHelper:
    def __init__(self, ctx, prefix):
        self.ctx = ctx
        self.prefix = prefix
        self.folder = prefix.host_path(HELPER_FOLDER)
        self.folder.mkdir(parents=True, exist_ok=True)
        shutil.copy2(helper_exe(ctx.build_dir), self.folder / "FaultHelper.exe")
        self.exe = HELPER_FOLDER + "\\FaultHelper.exe"
        self._count = 0

    def _env(self):
        return self.prefix.env(self.ctx.display.env())

    def _scratch(self, stem):
        self._count += 1
        name = f"{stem}-{self._count}.out"
        return self.folder / name, f"{HELPER_FOLDER}\\{name}"

    def hold(self, windows_path, mode="hold"):
        """Starts a helper that opens windows_path once it exists (mode "hold": sharing nothing;
        "hold-shared-read": sharing reading; "load": loading it as a library)."""
        ready_host, ready_windows = self._scratch("ready")
        log = open(self.ctx.work / f"helper-{self._count}.log", "ab")
        proc = subprocess.Popen(["wine", self.exe, mode, windows_path, ready_windows],
                                env=self._env(), stdout=log, stderr=log,
                                cwd=str(self.prefix.path))
        holder = Holder(proc, ready_host, windows_path)
        self.ctx.on_close(holder.stop)
        self.ctx.log(f"helper {mode} {windows_path}")
        return holder

    def window_texts(self, title, timeout=30, required_child=None):
        """The texts of the children of the visible window of exactly that title on the setup's
        desktop (for a message box: its text and button), once a child reads required_child;
        None when no such window came within timeout."""
        out_host, out_windows = self._scratch("texts")
        args = ["wine", self.exe, "texts", DESKTOP_NAME, title, out_windows, str(int(timeout))]
        if required_child is not None:
            args.append(required_child)
        result = subprocess.run(args, env=self._env(), cwd=str(self.prefix.path),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                timeout=timeout + 60)
        if result.returncode != 0 or not out_host.exists():
            return None
        texts = out_host.read_bytes().decode("utf-8").split("\0")[:-1]
        out_host.unlink()
        return texts

    def end_session(self, title):
        """Starts a helper that sends the window of that title WM_QUERYENDSESSION, then
        WM_ENDSESSION (TRUE), as a logoff does; (process, ready file, answer file). The ready
        file appears once it has found the window, just before it sends."""
        ready_host, ready_windows = self._scratch("session-ready")
        out_host, out_windows = self._scratch("session")
        log = open(self.ctx.work / f"helper-{self._count}.log", "ab")
        proc = subprocess.Popen(["wine", self.exe, "end-session", DESKTOP_NAME, title,
                                 ready_windows, out_windows],
                                env=self._env(), stdout=log, stderr=log,
                                cwd=str(self.prefix.path))
        self.ctx.on_close(lambda: proc.poll() is None and (proc.kill(), proc.wait()))
        return proc, ready_host, out_host

    def attributes(self, windows_path):
        out_host, out_windows = self._scratch("attributes")
        subprocess.run(["wine", self.exe, "attributes", windows_path, out_windows],
                       env=self._env(), cwd=str(self.prefix.path), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return out_host.read_text() if out_host.exists() else "(no answer)"

    def move(self, from_windows, to_windows):
        """What a user's program gets when it renames from_windows to to_windows: "moved" or
        "refused <error>"."""
        out_host, out_windows = self._scratch("move")
        subprocess.run(["wine", self.exe, "move", from_windows, to_windows, out_windows],
                       env=self._env(), cwd=str(self.prefix.path), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return out_host.read_text().strip() if out_host.exists() else "(no answer)"
