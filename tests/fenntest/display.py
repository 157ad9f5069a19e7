"""A private X display (Xvfb), started and ended by its own process id.

Xvfb takes the first free display number itself (-displayfd), so parallel scenarios never race
for one. FENN_DISPLAYS=FIRST-LAST keeps the numbers in a range instead (on a machine shared with
others who use fixed numbers); a number taken meanwhile is skipped.

    display.py [--size WxH] COMMAND [ARGS...]   runs a command on a private display
"""

import os
import select
import signal
import subprocess
import sys
import time


def _display_range():
    text = os.environ.get("FENN_DISPLAYS", "")
    if not text:
        return [None]  # Xvfb's own choice
    first, _, last = text.partition("-")
    return list(range(int(first), int(last or first) + 1))


def _taken(number):
    return os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}")


class VirtualDisplay:
    def __init__(self, width=800, height=600, log_path=None):
        self.width = width
        self.height = height
        self.log_path = log_path
        self.number = None
        self._proc = None

    def start(self, timeout=15):
        # FENN_PATIENCE stretches the limit as patience.py does (this file also runs as a script).
        timeout *= float(os.environ.get("FENN_PATIENCE") or 1)
        for number in _display_range():
            if number is not None and _taken(number):
                continue
            if self._try_start(number, timeout):
                return self
        raise RuntimeError("Xvfb did not start (see its log; FENN_DISPLAYS may be all taken)")

    def _try_start(self, number, timeout):
        read_fd, write_fd = os.pipe()
        explicit = [] if number is None else [f":{number}"]
        with open(self.log_path or os.devnull, "ab") as log:
            self._proc = subprocess.Popen(
                ["Xvfb", *explicit, "-displayfd", str(write_fd), "-screen", "0",
                 f"{self.width}x{self.height}x24", "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_fd,), stdout=log, stderr=log)
        os.close(write_fd)
        deadline = time.monotonic() + timeout
        text = b""
        try:
            while not text.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([read_fd], [], [], max(left, 0))
                chunk = os.read(read_fd, 16) if ready else b""
                if not chunk:  # the server ended (number taken meanwhile) or hangs
                    self.stop()
                    return False
                text += chunk
        finally:
            os.close(read_fd)
        self.number = int(text.strip())
        return True

    @property
    def name(self):
        return f":{self.number}"

    def env(self):
        return {"DISPLAY": self.name}

    def stop(self):
        if self._proc and self._proc.poll() is None:
            self._proc.terminate()
            try:
                self._proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._proc.kill()
                self._proc.wait()
        self._proc = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main(argv):
    width, height = 1024, 768
    if argv[:1] == ["--size"]:
        width, height = (int(v) for v in argv[1].split("x"))
        argv = argv[2:]
    if not argv:
        print(__doc__, file=sys.stderr)
        return 2
    # A test's timeout ends this process with SIGTERM: the display and the command go with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    with VirtualDisplay(width, height) as display:
        return subprocess.run(argv, env={**os.environ, **display.env()}).returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
