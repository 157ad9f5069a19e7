"""File systems a scenario mounts over folders of its prefix: a small tmpfs (a full disk), and a
read-only bind mount (a folder nobody may write to, root included: Wine runs as root here, and root
ignores permission bits but not a read-only mount). Each is unmounted when the scenario ends,
after its Wine processes, which may hold files there. Where mounting is not allowed the scenario
is skipped."""

import re
import subprocess
from pathlib import Path

from fenntest.errors import Unsupported


def _mount(ctx, args, folder, what):
    result = subprocess.run(["mount", *args], capture_output=True, text=True)
    if result.returncode != 0:
        raise Unsupported(f"cannot mount {what} here ({result.stderr.strip()})")
    ctx.on_close(lambda: unmount(folder), after_wine=True)
    ctx.log(f"{folder}: {what}")


def mount_tmpfs(ctx, folder, size):
    folder.mkdir(parents=True, exist_ok=True)
    _mount(ctx, ["-t", "tmpfs", "-o", f"size={size}", "fenn-fault-tmpfs", str(folder)], folder,
           f"a tmpfs of {size} bytes")


def bind_read_only(ctx, folder):
    _mount(ctx, ["--bind", str(folder), str(folder)], folder, "bound to itself")
    result = subprocess.run(["mount", "-o", "remount,bind,ro", str(folder)], capture_output=True,
                            text=True)
    if result.returncode != 0:
        raise Unsupported(f"cannot make a bind mount read-only ({result.stderr.strip()})")
    ctx.log(f"{folder}: read-only")


def mount_points():
    """Every mount point, as /proc/mounts lists them (octal escapes for blanks undone)."""
    with open("/proc/mounts", encoding="utf-8", errors="surrogateescape") as mounts:
        fields = [line.split()[1] for line in mounts]
    return [Path(re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), f)) for f in fields]


def unmount(folder):
    """Unmounts what is mounted on folder, however often (a bind mount on the same file system
    is invisible to os.path.ismount)."""
    folder = Path(folder).resolve()
    while folder in mount_points():
        subprocess.run(["umount", str(folder)], check=True)


def unmount_below(folder):
    """Unmounts what an earlier, killed run left mounted anywhere in its folder."""
    folder = Path(folder).resolve()
    for point in sorted(set(mount_points()), reverse=True):
        if point.is_relative_to(folder):
            unmount(point)
