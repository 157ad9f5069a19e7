"""Events in one folder through inotify(7): a test sees a file come and go the moment it does,
without polling."""

import ctypes
import os
import select
import signal
import struct
import time

from .errors import ScenarioFailure
from .patience import patience

# inotify(7)
IN_CLOSE_WRITE = 0x008
IN_CLOSE_NOWRITE = 0x010
IN_OPEN = 0x020
IN_CREATE = 0x100
IN_MOVED_FROM = 0x040
IN_DELETE = 0x200
IN_NONBLOCK = 0o4000
IN_ISDIR = 0x40000000
EVENT_HEADER = struct.Struct("iIII")


class FolderWatch:
    """Events in one folder: by default finished writes and deletions. With follow_new_folders,
    also the events in every folder made in it while it is watched (the setup's private folder in
    the temp folder); what such a folder already holds when its watch begins counts as created."""

    def __init__(self, folder, mask=IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM,
                 follow_new_folders=False):
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._fd = self._libc.inotify_init1(IN_NONBLOCK)
        if self._fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        self._folders = {}
        self._mask = mask | (IN_CREATE if follow_new_folders else 0)
        self._follow = follow_new_folders
        self._add(str(folder))
        self._pending = []

    def _add(self, folder):
        wd = self._libc.inotify_add_watch(self._fd, folder.encode(), self._mask)
        if wd < 0:
            raise OSError(ctypes.get_errno(), f"inotify_add_watch {folder}")
        self._folders[wd] = folder

    def drain(self):
        """Forgets everything seen so far."""
        self._pending = []
        while self._read(0):
            pass

    def wait_for(self, name, mask, deadline):
        """Waits for an event in mask for name (case ignored, as Windows names go); false when
        the deadline passes first. Events before it are dropped; those after it stay."""
        return self.wait_for_match(lambda seen: seen.lower() == name.lower(), mask,
                                   deadline) is not None

    def wait_for_match(self, matches, mask, deadline):
        """The name of the first event in mask whose name matches(name), or None when the
        deadline passes first. Events before it are dropped; those after it stay."""
        while True:
            while self._pending:
                event_mask, event_name = self._pending.pop(0)
                if event_mask & mask and matches(event_name):
                    return event_name
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self._pending = self._read(left)

    def _read(self, timeout):
        ready, _, _ = select.select([self._fd], [], [], timeout)
        if not ready:
            return []
        try:
            data = os.read(self._fd, 65536)
        except BlockingIOError:
            return []
        events = []
        offset = 0
        while offset < len(data):
            wd, event_mask, _, length = EVENT_HEADER.unpack_from(data, offset)
            offset += EVENT_HEADER.size
            raw = data[offset:offset + length].split(b"\0", 1)[0]
            offset += length
            name = raw.decode("utf-8", "replace")
            events.append((event_mask, name))
            if self._follow and event_mask & IN_CREATE and event_mask & IN_ISDIR \
                    and wd in self._folders:
                events += self._follow_folder(os.path.join(self._folders[wd], name))
        return events

    def _follow_folder(self, folder):
        try:
            self._add(folder)
            return [(IN_CREATE, entry) for entry in sorted(os.listdir(folder))]
        except OSError:
            return []  # gone again before its watch could begin

    def close(self):
        os.close(self._fd)


def start_held(ctx, prefix, exe, folder, matches, mask, label, timeout=60,
               follow_new_folders=False):
    """Starts exe as FennSetup.exe and stops its process (SIGSTOP) the moment an event in mask
    comes for a name in folder (or, with follow_new_folders, in a folder made in it) that
    matches(name): the program is held at a moment of its own choosing, whatever the machine's
    speed. Returns the stopped run and the name."""
    watch = FolderWatch(folder, mask, follow_new_folders=follow_new_folders)
    try:
        run = ctx.start_program(prefix, exe, as_name="FennSetup.exe")
        seen = watch.wait_for_match(matches, mask, time.monotonic() + patience(timeout))
        if seen is not None:
            run.signal(signal.SIGSTOP)
    finally:
        watch.close()
    if seen is None:
        raise ScenarioFailure(f"{label}: the moment never came within {patience(timeout):.0f}s")
    ctx.log(f"{label}: held as {seen} in {folder} was reached")
    return run, seen
