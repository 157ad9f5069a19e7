"""A private X display (Xvfb) for one scenario, started and ended by its own process id."""

import os
import select
import subprocess
import time


class VirtualDisplay:
    def __init__(self, width=800, height=600, log_path=None):
        self.width = width
        self.height = height
        self.log_path = log_path
        self.number = None
        self._proc = None

    def start(self, timeout=15):
        # -displayfd lets the server take the first free display number itself, so two test
        # runs (or other users of Xvfb on this machine) never race for the same number.
        read_fd, write_fd = os.pipe()
        with open(self.log_path or os.devnull, "ab") as log:
            self._proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
                 f"{self.width}x{self.height}x24", "-nolisten", "tcp"],
                pass_fds=(write_fd,), stdout=log, stderr=log)
        os.close(write_fd)
        deadline = time.monotonic() + timeout
        text = b""
        try:
            while not text.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([read_fd], [], [], max(left, 0))
                chunk = os.read(read_fd, 16) if ready else b""
                if not chunk:
                    self.stop()
                    raise RuntimeError("Xvfb did not start (see its log)")
                text += chunk
        finally:
            os.close(read_fd)
        self.number = int(text.strip())
        return self

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
