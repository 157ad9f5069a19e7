"""Wine prefixes: one template per build, a copy per test program or scenario.

The template lives in <build>/wine/template and is made once (wineboot takes several seconds);
scripts/wine-run, the platform tests and the scenarios all copy it. Every prefix gets a Korean
locale (code page 949, Hangul glyphs) and loses its Z: drive, which a new prefix maps to the
Linux root: a drive search that finds nothing would otherwise walk the whole host file system.
"""

import fcntl
import os
import re
import shutil
import socket
import subprocess
import sys
from pathlib import Path

READY_STAMP = "fenn-template-ready"
# Comes first on PATH for Wine's processes: its "wine" starts again a start that Wine's server
# dropped before the program ran (see the script).
WINE_STARTER = Path(__file__).resolve().parent / "bin"


def wine_env(prefix_path, extra=None):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": str(prefix_path),
        "WINEDEBUG": "-all",
        "LC_ALL": "ko_KR.UTF-8",
        # No Mono or Gecko installer dialogs during the first boot.
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
    })
    env.pop("WINEARCH", None)
    env["PATH"] = f"{WINE_STARTER}{os.pathsep}{env.get('PATH', '')}"
    if extra:
        env.update(extra)
    return env


class WinePrefix:
    """program_bits is the build under test's (32 or 64): a 32-bit program in a 64-bit prefix
    sees syswow64 as its system directory (WoW64 redirects system32 for it)."""

    def __init__(self, path, program_bits=64):
        self.path = Path(path)
        self.program_bits = program_bits

    def env(self, extra=None):
        return wine_env(self.path, extra)

    @property
    def drive_c(self):
        return self.path / "drive_c"

    @property
    def system32(self):
        """The folder the program under test knows as its system directory."""
        windows = self.drive_c / "windows"
        if self.program_bits == 32 and (windows / "syswow64").is_dir():
            return windows / "syswow64"
        return windows / "system32"

    def host_path(self, windows_path):
        """The host path of a Windows path on one of this prefix's drives, such as C:\\x\\y."""
        drive, _, rest = windows_path.partition(":")
        root = self.path / "dosdevices" / (drive.lower() + ":")
        parts = [p for p in rest.split("\\") if p]
        return root.joinpath(*parts) if parts else root

    @property
    def temp_dir(self):
        """The Wine user's temp folder, as the user registry's TEMP names it."""
        text = (self.path / "user.reg").read_text(encoding="utf-8", errors="replace")
        match = re.search(r'^"TEMP"="([^"]+)"', text, re.MULTILINE)
        windows = match.group(1).replace("\\\\", "\\") if match else "C:\\users\\root\\Temp"
        return self.host_path(windows)

    def wine(self, args, timeout=120, extra_env=None):
        return subprocess.run(["wine", *args], env=self.env(extra_env), timeout=timeout,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_idle(self, timeout=60):
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=timeout)

    def shutdown(self):
        """Ends this prefix's own wineserver and every Wine process of it; nothing else."""
        subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def restart(self):
        """Windows starts again: every process of the prefix ends, then the deletions asked for
        at restart are carried out."""
        self.shutdown()
        self.wine(["wineboot", "-r"])
        self.wait_idle()

    def running(self):
        """Whether this prefix's wineserver is up: its socket takes a connection. (Upstream
        Wine keeps it in /tmp/.wine-UID, Debian's in a /tmp/wine-XXXXXX of the user's.)"""
        stat = os.stat(self.path)
        server = f"server-{stat.st_dev:x}-{stat.st_ino:x}"
        for socket_path in [*Path("/tmp").glob(f"wine-*/{server}/socket"),
                            Path(f"/tmp/.wine-{os.getuid()}") / server / "socket"]:
            with socket.socket(socket.AF_UNIX) as probe:
                try:
                    probe.connect(str(socket_path))
                    return True
                except OSError:
                    pass
        return False

    def import_registry(self, reg_text, scratch_dir):
        """Imports a .reg text: into the registry files themselves while the prefix is down (a
        regedit run would boot it, some 10 s on an emulated processor), else through regedit."""
        if not self.running():
            _append_to_registry_files(self.path, reg_text)
            return
        # regedit wants UTF-16LE with a BOM for anything beyond ASCII.
        reg_file = Path(scratch_dir) / "import.reg"
        body = "Windows Registry Editor Version 5.00\r\n\r\n" + reg_text.replace("\n", "\r\n")
        reg_file.write_bytes(b"\xff\xfe" + body.encode("utf-16-le"))
        self.wine(["regedit", "/S", str(self.windows_path_of_host(reg_file))])
        self.wait_idle()

    def windows_path_of_host(self, host_path):
        """A path Wine can open for a host file outside every drive: copy it onto C:."""
        host_path = Path(host_path)
        staged = self.drive_c / "fenn-e2e" / host_path.name
        staged.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(host_path, staged)
        return "C:\\fenn-e2e\\" + host_path.name

    def set_user_value(self, key, name, text, scratch_dir):
        self.import_registry(f"[HKEY_CURRENT_USER\\{key}]\n\"{name}\"={reg_string(text)}\n",
                             scratch_dir)

    def pending_restart_work(self):
        """The texts of PendingFileRenameOperations (file, new name, ...; an empty new name
        deletes), as the machine's registry file holds them once the prefix is idle."""
        self.wait_idle()
        text = (self.path / "system.reg").read_text(encoding="utf-8", errors="replace")
        key = re.search(r'^\[System\\\\(?:CurrentControlSet|ControlSet\d+)\\\\Control\\\\Session Manager\][^\n]*\n'
                        r'(.*?)(?=^\[)', text, re.MULTILINE | re.DOTALL | re.IGNORECASE)
        # The server saves a terminated string list as str(7):"..." and any other data as hex(7).
        value = key and re.search(r'^"PendingFileRenameOperations"=(?:str\(7\):"((?:[^"\\\n]|\\.)*)"'
                                  r'|hex\(7\):((?:[0-9a-f,]|\\\n\s*)*))',
                                  key.group(1), re.MULTILINE | re.IGNORECASE)
        if not value:
            return []
        if value.group(1) is not None:  # saved without the list's final terminator
            strings = _unescape_registry_string(value.group(1))
        else:
            data = bytes(int(b, 16) for b in re.findall(r"[0-9a-f]{2}", value.group(2), re.I))
            strings = data.decode("utf-16-le", "replace").removesuffix("\0")
        return strings.split("\0")[:-1]  # each string ends in a NUL

    def map_fixed_drives(self, drives, scratch_dir):
        """Maps host folders ({letter: folder}) as fixed hard disks (type 3), as further local
        drives would be; one registry import for all of them."""
        values = []
        for letter, host_dir in drives.items():
            host_dir = Path(host_dir)
            host_dir.mkdir(parents=True, exist_ok=True)
            link = self.path / "dosdevices" / f"{letter.lower()}:"
            if link.is_symlink() or link.exists():
                link.unlink()
            link.symlink_to(host_dir.resolve())
            values.append(f'"{letter.lower()}:"="hd"')
        self.import_registry("[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n"
                             + "\n".join(values) + "\n", scratch_dir)


def _unescape_registry_string(text):
    """A string as the Wine server writes it into a registry file: backslash escapes for
    control characters (octal), for characters above 127 (up to four hex digits) and for
    backslash and quote."""
    named = {"a": "\a", "b": "\b", "t": "\t", "n": "\n", "v": "\v", "f": "\f", "r": "\r",
             "e": "\x1b"}

    def one(match):
        escape = match.group(1)
        if escape[0] in "xX":
            return chr(int(escape[1:], 16))
        if escape[0] in "01234567":
            return chr(int(escape, 8))
        return named.get(escape, escape)

    return re.sub(r"\\([xX][0-9a-fA-F]{1,4}|[0-7]{1,3}|.)", one, text)


_REGISTRY_FILES = {"HKEY_LOCAL_MACHINE": "system.reg", "HKEY_CURRENT_USER": "user.reg"}


def _append_to_registry_files(prefix_path, reg_text):
    """Writes the keys of a .reg text (regedit's syntax) as sections at the end of the prefix's
    registry files, which wineserver loads when it starts; a key already there gets the values
    added. Wine's files use the same value syntax, but name every character outside ASCII as
    \\xNNNN (UTF-16 units) and name keys relative to their root."""
    sections = {}
    current = None
    for line in reg_text.splitlines():
        if line.startswith("["):
            root, _, key = line.strip("[]").partition("\\")
            current = sections.setdefault(_REGISTRY_FILES[root], [])
            key = _wine_escaped(key.replace("\\", "\\\\"))
            current.append(f"\n[{key}]\n")
        elif line.strip():
            current.append(_wine_escaped(line) + "\n")
    for name, lines in sections.items():
        with open(Path(prefix_path) / name, "a", encoding="ascii") as registry:
            registry.write("".join(lines))


def _wine_escaped(text):
    units = text.encode("utf-16-le")
    out = []
    for i in range(0, len(units), 2):
        unit = int.from_bytes(units[i:i + 2], "little")
        out.append(chr(unit) if 0x20 <= unit < 0x7F else f"\\x{unit:04x}")
    return "".join(out)


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def template_of(build_dir):
    """The one template prefix of a build."""
    return Path(build_dir).resolve() / "wine" / "template"


def _locked(path):
    """An exclusive lock beside a prefix, held while it is made or copied."""
    path.parent.mkdir(parents=True, exist_ok=True)
    lock = open(str(path) + ".lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    return lock


def boot(path, arch=None):
    """Makes a prefix in place with wineboot, without its Z: drive. arch ("win32", "win64") is
    the prefix's WINEARCH; by default Wine's own choice."""
    path = Path(path)
    path.mkdir(parents=True, exist_ok=True)
    prefix = WinePrefix(path)
    subprocess.run(["wineboot", "-i"], env=prefix.env({"WINEARCH": arch} if arch else None),
                   timeout=900,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    prefix.wait_idle(timeout=300)
    prefix.shutdown()
    (path / "dosdevices" / "z:").unlink(missing_ok=True)
    if not (path / "system.reg").exists():
        raise RuntimeError(f"wineboot did not make a prefix in {path}")
    return prefix


def ensure_template(path, fresh=False):
    """Makes the template prefix once; safe across processes."""
    path = Path(path)
    with _locked(path):
        if fresh or not (path / READY_STAMP).exists():
            if path.exists():
                WinePrefix(path).shutdown()
                shutil.rmtree(path)
            boot(path)
            (path / READY_STAMP).touch()
    return WinePrefix(path)


def clone_prefix(template, dest, program_bits=64):
    """A fresh copy of the template at dest (an earlier one there is ended and removed)."""
    dest = Path(dest)
    if dest.exists():
        WinePrefix(dest).shutdown()
        shutil.rmtree(dest)
    dest.parent.mkdir(parents=True, exist_ok=True)
    with _locked(template.path):  # never copy a template that is being made
        if os.environ.get("FENN_PREFIX_LINKS") != "0":
            _link_copy(template.path, dest)
        else:
            subprocess.run(["cp", "-a", str(template.path), str(dest)], check=True)
    (dest / READY_STAMP).unlink(missing_ok=True)
    _append_to_registry_files(dest, _UNUSED_STARTUP_OFF)
    return WinePrefix(dest, program_bits)


# What every new Wine prefix starts at its first program although nothing under test uses it: the
# event log, the network stack's drivers and the device bus manager (services: each a process or
# a driver to load), and the menu builder, which writes the host's menu entries and file
# associations and opens a default desktop of its own for that, a further process to start and
# to end. Together some 2.5 s of the 9.5 s of a copy's first start on an emulated processor, and
# about 1 s of its end. The mount manager, which reports the drives, keeps running.
_UNUSED_STARTUP_OFF = "".join(
    f"[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\{name}]\n\"Start\"=dword:00000004\n"
    for name in ("Eventlog", "NDIS", "nsiproxy", "PlugPlay")) + (
    "[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\n\"winemenubuilder.exe\"=\"\"\n")


# Wine's own libraries and data (side-by-side assemblies, themes, sorting tables): most of a
# prefix's bytes, and only ever read, added or removed by Wine and by the scenarios, never written
# in place.
_SHARED_FOLDERS = ("drive_c/windows/system32", "drive_c/windows/syswow64", "drive_c/windows/winsxs",
                   "drive_c/windows/resources", "drive_c/windows/globalization")


def _link_copy(source, dest):
    """A copy whose library folders' files are hard links to the template's: copying 0.7 GB took
    0.8 s (0.5 s of it system time) for each copy on the host, and some 10 s on an emulated
    processor. Everything else is a copy of its own (the registry files among it), as cp -a would
    make: 12 MB instead of 68 in a 64-bit prefix. FENN_PREFIX_LINKS=0 makes full copies instead."""
    subprocess.run(["cp", "-al", str(source), str(dest)], check=True)
    for folder, subfolders, files in os.walk(dest):
        relative = Path(folder).relative_to(dest).as_posix()
        if relative in _SHARED_FOLDERS:
            subfolders.clear()
            continue
        for name in files:
            path = Path(folder) / name
            if not path.is_symlink():
                own = path.with_name(name + ".fenn-copy")
                shutil.copy2(path, own)
                os.replace(own, path)


def ensure_prefix(dest, template_path=None):
    """dest as a copy of the template, unless it is a prefix already (made once, then reused);
    without a template, a prefix booted in place."""
    dest = Path(dest)
    with _locked(dest):
        if not (dest / "system.reg").exists():
            if template_path:
                clone_prefix(ensure_template(template_path), dest)
            else:
                boot(dest)
    return WinePrefix(dest)


def main(argv):
    """prefix.py template BUILD_DIR [--fresh]   make the build's template prefix
    prefix.py ensure PREFIX [TEMPLATE]         make PREFIX a copy of TEMPLATE (or boot it in
                                               place) unless it is a prefix already"""
    if len(argv) >= 2 and argv[0] == "template":
        ensure_template(template_of(argv[1]), fresh="--fresh" in argv[2:])
    elif len(argv) in (2, 3) and argv[0] == "ensure":
        ensure_prefix(*argv[1:])
    else:
        print(main.__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
