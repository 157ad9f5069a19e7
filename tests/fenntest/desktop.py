"""One Windows program run inside a Wine virtual desktop on a private X display.

The virtual desktop draws real title bars (there is no window manager on the display), so the
screenshots show what a person would see. Windows are found by their exact title: xdotool's own
name matching is unreliable with Hangul, so every visible window's name is read (xwindows.py)
and compared.
"""

import ntpath
import os
import re
import subprocess
import time

from .errors import ScenarioFailure
from .patience import patience, wait_until
from .processes import ProgramProcesses, cpu_seconds, describe, prefix_processes
from .xwindows import visible_windows

DESKTOP_NAME = "Fenn"
# What Wine prints when a new 64-bit process finds the address of its shared user data already
# taken and ends before its program ran (Debian's 64-bit Wine starts without the preloader that
# reserves it: about once in several thousand starts here). The desktop process that started the
# program ignores the failure, so the start is made again.
UNSTARTED = "wine: failed to map the shared user data"


class DesktopRun:
    def __init__(self, prefix, display, program, args=(), log_path=None):
        self.prefix = prefix
        self.display = display
        self.program = program
        self.args = list(args)
        self.log_path = log_path
        self._proc = None
        self._seen_running = False
        self._processes = None  # made as the program starts
        self.pids = []

    def _x_env(self):
        return self.prefix.env(self.display.env())

    def watch_for_program(self):
        """The program's processes are those that come from now on (start does this unless it
        was done: copies started together are all each other's)."""
        self._processes = ProgramProcesses(self.prefix.path, ntpath.basename(self.program))

    def start(self):
        if self._processes is None:
            self.watch_for_program()
        for attempt in (1, 2, 3):
            printed_before = self._printed_size()
            self._launch()
            # Its end can only be told once its process has been seen. (The desktop process is
            # no guide: it hands the program to a desktop of the same name that is still open,
            # and it stays while anything the program started is on screen.) A start that never
            # comes says how far the desktop got.
            found = wait_until(
                lambda: self.program_pids() or UNSTARTED in self.printed_since(printed_before),
                60, lambda: f"{self.program} started (the prefix's processes: "
                f"{describe(prefix_processes(self.prefix.path))}; visible windows: "
                f"{self.titles()}; printed: {self.printed()!r}; the desktop's calls: "
                f"{self.desktop_calls()})", interval=0.1)
            if found is True:  # unless it was another process of the session that failed
                time.sleep(patience(2))
                found = self.program_pids()
            if found:
                self.pids = found
                self._seen_running = True
                return self
            self._note(f"Wine could not start {self.program} (start {attempt}): starting again")
        raise ScenarioFailure(f"Wine could not start {self.program} in three starts")

    def _launch(self):
        """The program on the desktop, through the desktop process (the working folder is the
        prefix itself: it lies on no Wine drive, like any host path once Z: is gone). Wine's
        errors are printed: a program it could not start is reported there."""
        size = f"{self.display.width}x{self.display.height}"
        with open(self.log_path or os.devnull, "ab") as log:
            self._proc = subprocess.Popen(
                ["wine", "explorer", f"/desktop={DESKTOP_NAME},{size}", self.program,
                 *self.args],
                env={**self._x_env(), "WINEDEBUG": "-all,err+all"}, stdout=log, stderr=log,
                cwd=str(self.prefix.path))

    def signal(self, number):
        """Sends a signal to the program's own process (as first seen): SIGSTOP holds it,
        SIGCONT lets it go on, SIGKILL ends it as a crash would."""
        for pid in self.pids:
            try:
                os.kill(pid, number)
            except ProcessLookupError:
                pass  # it has ended meanwhile

    def wait_desktop_closed(self, timeout=60):
        """Waits for the desktop process to end (the desktop closes with its last window). A
        program started while it closes would be handed to that closing desktop."""
        wait_until(lambda: self._proc.poll() is not None, timeout,
                   f"the desktop of {self.program} closed after the program ended")

    # --- windows -------------------------------------------------------------------------------

    def _xdotool(self, *args, check=False):
        result = subprocess.run(["xdotool", *args], env=self._x_env(), capture_output=True,
                                text=True, timeout=30)
        if check and result.returncode != 0:
            raise ScenarioFailure(f"xdotool {' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout

    def visible_windows(self):
        """(id, title) of every visible window, in stacking order."""
        return visible_windows(self.display.name)

    def find_window(self, title):
        for win, name in self.visible_windows():
            if name == title:
                return win
        return None

    def count_windows(self, title):
        return sum(1 for _, name in self.visible_windows() if name == title)

    def titles(self):
        return [name for _, name in self.visible_windows()]

    def wait_for_window(self, title, timeout=60):
        def found():
            win = self.find_window(title)
            if not win and self.exited():
                raise ScenarioFailure(f'the program ended before a window "{title}" appeared')
            return win

        return wait_until(found, timeout, lambda: f'a window "{title}" (visible: {self.titles()})')

    def wait_for_no_window(self, title, timeout=30):
        wait_until(lambda: not self.find_window(title), timeout, f'window "{title}" gone')

    def window_size(self, win):
        out = self._xdotool("getwindowgeometry", "--shell", win, check=True)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["WIDTH"]), int(values["HEIGHT"])

    # --- input ---------------------------------------------------------------------------------

    def focus(self, win):
        """Clicks the window's title bar: activates it without pressing any of its buttons."""
        width, _ = self.window_size(win)
        self._xdotool("mousemove", "--window", win, str(width // 2), "8", "click", "1",
                      check=True)
        time.sleep(0.3)

    def press(self, win, *keys):
        self.focus(win)
        for key in keys:
            self._xdotool("key", key, check=True)
            time.sleep(0.2)

    # --- evidence ------------------------------------------------------------------------------

    def printed(self, limit=600):
        """The end of what Wine and the program printed."""
        return self.printed_since(0).strip()[-limit:]

    def printed_since(self, offset):
        if self.log_path is None or not os.path.exists(self.log_path):
            return ""
        with open(self.log_path, "rb") as log:
            log.seek(offset)
            return log.read().decode("utf-8", "replace")

    def _printed_size(self):
        return os.path.getsize(self.log_path) if self.log_path and os.path.exists(self.log_path) \
            else 0

    def _note(self, line):
        if self.log_path:
            with open(self.log_path, "a", encoding="utf-8") as log:
                log.write(f"fenn: {line}\n")

    def desktop_calls(self):
        """Where the desktop process's main thread is, innermost call first (winedbg): in its
        message loop once it has tried to start the program, or somewhere on its way there."""
        try:
            out = subprocess.run(["winedbg", "--command", "bt all"], env=self.prefix.env(),
                                 capture_output=True, text=True, errors="replace", timeout=180,
                                 cwd=str(self.prefix.path)).stdout
        except (OSError, subprocess.TimeoutExpired) as e:
            return f"not read ({e})"
        found = []
        for thread in out.split("Backtracing for thread "):
            calls = re.findall(r"^\W*\d+ 0x[0-9a-f]+ (?:in )?([\w.]+)", thread, re.M)
            if "manage_desktop" in calls:
                found.append(" < ".join(calls[:calls.index("manage_desktop") + 1]))
        return " | ".join(found) or "no desktop thread"

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", str(path)], env=self._x_env(), check=True,
                       timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    # --- the end -------------------------------------------------------------------------------

    def program_pids(self):
        """Process ids of the program itself in this prefix (not the desktop, not what it
        started)."""
        return self._processes.pids() if self._processes else []

    def cpu_seconds(self):
        """Processor time (user and system) the program's own process has used so far."""
        return cpu_seconds(self.program_pids())

    def exited(self):
        """The program's own process has ended."""
        return self._seen_running and not self.program_pids()

    def wait_exit(self, timeout=30):
        wait_until(self.exited, timeout, lambda: f"the end of the program (visible: {self.titles()})")

    def stop(self):
        """Ends whatever is left of the run: this prefix's wineserver takes its processes along."""
        if self._proc is not None and self._proc.poll() is None:
            self.prefix.shutdown()
            try:
                self._proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
