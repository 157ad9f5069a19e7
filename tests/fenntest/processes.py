"""Finds the Wine processes of one prefix from /proc, by the program name Wine shows.

Wine shows a Windows process's command line as its Windows path; the prefix a process belongs
to is told by the WINEPREFIX in its environment, so runs in other prefixes never count.
"""

import ntpath
import os


def _program_name(pid):
    with open(f"/proc/{pid}/cmdline", "rb") as f:
        first = f.read().split(b"\0", 1)[0].decode("utf-8", "replace")
    return ntpath.basename(first.replace("/", "\\")).lower()


def _in_prefix(pid, marker):
    with open(f"/proc/{pid}/environ", "rb") as f:
        return marker in f.read().split(b"\0")


def prefix_processes(prefix_path, named=None, except_named=()):
    """Process ids of the prefix's processes whose program is `named` (any when None) and none
    of `except_named` (names compared without case)."""
    marker = f"WINEPREFIX={prefix_path}".encode()
    wanted = named.lower() if named else None
    excluded = {name.lower() for name in except_named}
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            name = _program_name(entry)
            if (wanted and name != wanted) or name in excluded:
                continue
            if _in_prefix(entry, marker):
                found.append(int(entry))
        except OSError:
            continue  # the process ended while it was looked at
    return found


def describe(pids):
    """'name (state)' of each process, for a failure's message: what a start that never came
    was stuck in."""
    found = []
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
            found.append(f"{_program_name(pid)} ({state})")
        except OSError:
            continue
    return ", ".join(found) or "none"


def cpu_seconds(pids):
    """Processor time (user and system) the processes have used so far."""
    ticks = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            ticks += int(fields[11]) + int(fields[12])  # utime, stime
        except OSError:
            continue
    return ticks / os.sysconf("SC_CLK_TCK")
