"""FaultHelper.exe (tests/faults/helper/FaultHelper.cpp) in a scenario's prefix: a second Windows
process that holds files and reads the texts of the setup's windows (the panel's captions, a box's
text), which the window system outside Wine cannot see."""

import shutil
import subprocess
from pathlib import Path

from .desktop import DESKTOP_NAME
from .errors import ScenarioFailure
from .patience import patience, wait_until

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
        def held():
            if self.proc.poll() is not None:
                raise ScenarioFailure(f"the helper holding {self.name} ended "
                                      f"(exit code {self.proc.returncode}) before it held it")
            return self.ready.exists()

        wait_until(held, timeout, f"the helper holding {self.name}", interval=0.02)

    def wait_watching(self, timeout=60):
        """Waits until the helper looks for its file: one that appears from now on is caught."""
        watching = self.ready.with_name(self.ready.name + ".waiting")
        wait_until(lambda: watching.exists() or self.proc.poll() is not None, timeout,
                   f"the helper looking for {self.name}", interval=0.02)

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

    def _log_path(self):
        """Where the output of the helper whose scratch file was named last goes."""
        return self.ctx.work / f"helper-{self._count}.log"

    def hold(self, windows_path, mode="hold"):
        """Starts a helper that opens windows_path once it exists (mode "hold": sharing nothing;
        "hold-shared-read": sharing reading; "load": loading it as a library)."""
        ready_host, ready_windows = self._scratch("ready")
        log = open(self._log_path(), "ab")
        proc = subprocess.Popen(["wine", self.exe, mode, windows_path, ready_windows],
                                env=self._env(), stdout=log, stderr=log,
                                cwd=str(self.prefix.path))
        holder = Holder(proc, ready_host, windows_path)
        self.ctx.on_close(holder.stop)
        self.ctx.log(f"helper {mode} {windows_path}")
        return holder

    def start_texts(self, title, timeout, required_child=None):
        """Starts a helper that waits up to timeout seconds for the visible window of exactly
        that title on the setup's desktop (and, when given, for a child reading required_child,
        then reads the children again, so that every text dates from after it read so) and
        writes the texts of its children (for a message box: its text and button). Returns a
        function that gives None while it waits, and then the texts, or False when no such
        window came; its `status` describes how the helper ended: its exit status (see
        FaultHelper.cpp) and what Wine printed."""
        out_host, out_windows = self._scratch("texts")
        log_path = self._log_path()
        args = ["wine", self.exe, "texts", DESKTOP_NAME, title, out_windows,
                str(int(patience(timeout)))]
        if required_child is not None:
            args.append(required_child)
        with open(log_path, "ab") as log:
            # Wine's own errors printed, should the helper end before it looked.
            proc = subprocess.Popen(args, env={**self._env(), "WINEDEBUG": "-all,err+all"},
                                    cwd=str(self.prefix.path), stdout=log, stderr=log)
        self.ctx.on_close(lambda: proc.poll() is None and (proc.kill(), proc.wait()))

        answer = []

        def result():
            if not answer and proc.poll() is not None:
                texts = out_host.read_bytes().decode("utf-8").split("\0")[:-1] \
                    if proc.returncode == 0 and out_host.exists() else False
                answer.append(texts)
            return answer[0] if answer else None

        def status():
            if proc.poll() is None:
                return "still waiting"
            printed = log_path.read_bytes().decode("utf-8", "replace").strip()[-600:]
            return f"exit status {proc.returncode}" + (f", printed: {printed}" if printed else "")

        result.status = status
        return result

    def window_texts(self, title, timeout=30):
        """The texts of the children of the visible window of exactly that title; None when no
        such window came within timeout."""
        result = self.start_texts(title, timeout)
        wait_until(lambda: result() is not None, timeout + 60, f'the texts of "{title}"',
                   interval=0.1)
        return result() or None

    def end_session(self, title):
        """Starts a helper that sends the window of that title WM_QUERYENDSESSION, then
        WM_ENDSESSION (TRUE), as a logoff does; (process, ready file, answer file). The ready
        file appears once it has found the window, just before it sends."""
        ready_host, ready_windows = self._scratch("session-ready")
        out_host, out_windows = self._scratch("session")
        log = open(self._log_path(), "ab")
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
