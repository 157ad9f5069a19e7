"""The sample installation of the product, and what a scenario checks in its folder."""

import hashlib
import os
from pathlib import Path

DEFAULT_FOLDER = "C:\\Program Files\\톨바리네 2000"
REGISTRY_KEY = "SOFTWARE\\Valto Corp."
REGISTRY_VALUE = "ApplicationPath"
PRODUCT_FILES = ["k3main.exe", "k3main.drv", "TonePly.exe", "lck.dat", "K3grf.dat", "K3rep.dat"]
# Catalogue order: ids 101 to 104.
PAYLOAD_NAMES = ["CompLib.dll", "K3Fenn.exe", "cfgmgr32.dll", "setupapi.dll"]
SYSTEM_LIBRARIES = ["cfgmgr32.dll", "setupapi.dll"]
STAGED_CODEC = "CompVLib.DLL"
PANEL_TITLE = "톨바리네 업데이터 설치"
UPDATER_MARKER = "K3Fenn.started"


def updater_start(product, wait_until, timeout=30):
    """(command line, working folder) that the stand-in updater started in "product" wrote into
    its marker, once it has written both lines."""
    marker = Path(product) / UPDATER_MARKER
    wait_until(lambda: marker.exists() and marker.read_bytes().count(b"\n") >= 2, timeout,
               f"{UPDATER_MARKER} written by the started updater")
    command_line, folder = marker.read_text(encoding="utf-8").splitlines()[:2]
    return command_line.strip(), folder.strip()


def lay_out_product(folder):
    """Writes the six files that prove an installation; each holds a line naming itself."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for name in PRODUCT_FILES:
        (folder / name).write_bytes(f"sample product file {name}\r\n".encode())
    return folder


def snapshot(folder):
    """name -> (sha256, mtime in ns) of every entry of a folder; folders get no digest."""
    state = {}
    for entry in sorted(Path(folder).iterdir()):
        info = entry.stat()
        digest = hashlib.sha256(entry.read_bytes()).hexdigest() if entry.is_file() else "dir"
        state[entry.name] = (digest, info.st_mtime_ns)
    return state


def leftover_temp_files(temp_dir):
    """The setup's private folders ("~FennSetup-", which hold its "~oc" files) and the codec's own
    copies ("~md")."""
    temp_dir = Path(temp_dir)
    if not temp_dir.is_dir():
        return []
    return sorted(p.name for p in temp_dir.iterdir()
                  if p.name.lower().startswith(("~oc", "~md", "~fennsetup-")))


def find_case_insensitive(folder, name):
    """Windows names ignore case; the host file system does not."""
    folder = Path(folder)
    if not folder.is_dir():
        return None
    for entry in os.listdir(folder):
        if entry.lower() == name.lower():
            return folder / entry
    return None
