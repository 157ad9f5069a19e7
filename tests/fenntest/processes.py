"""Finds the Wine processes of one prefix from /proc, by the program name Wine shows.

Wine shows a Windows process's command line as its Windows path; the prefix a process belongs
to is told by the WINEPREFIX in its environment, so runs in other prefixes never count.
"""

import os


def _command_line(pid):
    with open(f"/proc/{pid}/cmdline", "rb") as f:
        return [a.decode("utf-8", "replace") for a in f.read().rstrip(b"\0").split(b"\0")]


def _program_name(pid, command_line=None):
    first = (command_line or _command_line(pid))[0]
    return first.replace("/", "\\").rsplit("\\", 1)[-1].lower()


def _in_prefix(pid, marker):
    with open(f"/proc/{pid}/environ", "rb") as f:
        return marker in f.read().split(b"\0")


def prefix_processes(prefix_path):
    """Process ids of all the prefix's processes."""
    marker = f"WINEPREFIX={prefix_path}".encode()
    found = []
    for entry in os.listdir("/proc"):
        try:
            if entry.isdigit() and _in_prefix(entry, marker):
                found.append(int(entry))
        except OSError:
            continue  # the process ended while it was looked at, or is not ours to read
    return found


class ProgramProcesses:
    """The processes of one program in one prefix that began after this object was made (just
    before the program is started), looked for again and again: several times a second while it
    starts. Reading every process's command line costs a tenth of a second on an emulated
    processor; this reads only those of the processes that came since. (A process shows the
    command line of its parent until it runs its own program, so no name seen is for good.) An id
    leaves the set of those before once its process is gone, so an id used again is read."""

    def __init__(self, prefix_path, program_name):
        self._marker = f"WINEPREFIX={prefix_path}".encode()
        self._wanted = program_name.lower()
        self._before = {entry for entry in os.listdir("/proc") if entry.isdigit()}

    def pids(self):
        live = [entry for entry in os.listdir("/proc") if entry.isdigit()]
        self._before.intersection_update(live)
        found = []
        for pid in live:
            try:
                if pid not in self._before and _program_name(pid) == self._wanted \
                        and _in_prefix(pid, self._marker):
                    found.append(int(pid))
            except OSError:
                continue  # the process ended while it was looked at
        return found


def describe(pids):
    """'name arguments (state)' of each process, for a failure's message: what a start that
    never came was stuck in (the arguments tell a desktop's launcher from the program it runs)."""
    found = []
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
            command_line = _command_line(pid)
            found.append(" ".join([_program_name(pid, command_line), *command_line[1:],
                                   f"({state})"]))
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
