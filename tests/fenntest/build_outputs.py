"""Where the build under test put the programs the scenarios run."""

import os
from pathlib import Path

from .errors import ScenarioFailure
from .pe import PeResources


class BuildOutputs:
    def __init__(self, build_dir):
        self.build_dir = Path(build_dir).resolve()

    def _find(self, name, preferred):
        for rel in preferred:
            path = self.build_dir / rel
            if path.is_file():
                return path
        for folder, subfolders, files in os.walk(self.build_dir):
            # Scenario folders hold copies of the programs and trees of their own; only the
            # build's own files count.
            if Path(folder) == self.build_dir:
                subfolders[:] = [d for d in subfolders if d not in ("e2e", "faults")]
            subfolders.sort()
            if name in files:
                return Path(folder) / name
        raise ScenarioFailure(f"{name} not found under {self.build_dir}; build it first")

    @property
    def probe(self):
        return self._find("FennProbe.exe", ["tests/e2e/FennProbe.exe"])

    @property
    def planted_library(self):
        return self._find("PlantedLibrary.dll", ["tests/e2e/PlantedLibrary.dll"])

    @property
    def setup(self):
        return self._find("FennSetup.exe", ["FennSetup.exe", "Updater/FennSetup/FennSetup.exe"])

    def cache_value(self, key):
        cache = self.build_dir / "CMakeCache.txt"
        if not cache.is_file():
            return ""
        for line in cache.read_text(errors="replace").splitlines():
            if line.startswith(key + ":"):
                return line.split("=", 1)[1].strip()
        return ""

    def payload_input(self, name):
        """The file the build packed as a payload: from the configured payload folder, or the
        stand-in the build made itself; None when it cannot be told."""
        payload_dir = self.cache_value("FENN_PAYLOAD_DIR")
        if payload_dir:
            path = Path(payload_dir) / name
            return path if path.is_file() else None
        candidates = {
            "K3Fenn.exe": ["standins/updater/K3Fenn.exe"],
            "cfgmgr32.dll": ["standins/libraries/cfgmgr32.dll"],
            "setupapi.dll": ["standins/libraries/setupapi.dll"],
            "CompLib.dll": ["codec/debug/CompLib.dll"],
        }[name]
        for rel in candidates:
            if (self.build_dir / rel).is_file():
                return self.build_dir / rel
        return None

    @property
    def program_bits(self):
        """32 for an i686 build, 64 otherwise, as its setup program's PE header says."""
        try:
            return 64 if PeResources.from_file(self.setup).is_64bit else 32
        except (ScenarioFailure, OSError, ValueError):
            return 64

    @property
    def payload_table(self):
        """The payload table whose times the build stamped into the containers, or None when it
        took each file's own times (FENN_PAYLOAD_TIMES=files)."""
        if self.cache_value("FENN_PAYLOAD_TIMES").lower() == "files":
            return None
        source = Path(self.cache_value("CMAKE_HOME_DIRECTORY") or Path(__file__).parents[2])
        return source / "Updater" / "FennSetup" / "resources" / "payloads.txt"

    @property
    def host_vxtool(self):
        """The vxtool built for the build host (it packed the payloads), or None."""
        configured = self.cache_value("FENN_HOST_VXTOOL")
        for path in ([Path(configured)] if configured else []) + [
                self.build_dir / "host-tools" / "tools" / "vxtool" / "vxtool"]:
            if path.is_file():
                return path
        return None
