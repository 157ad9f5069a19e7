// The setup's payload extraction on Win32Platform, timed against the plain unpack of the same four
// containers (the floor), in one process and one Wine prefix.
//
//   extraction: StageDecompressor(false), ExtractPayloads(product folder, empty list),
//               StageDecompressor(true): the codec library written to the system directory and
//               loaded, each container read from the resources, written to a temp file, decoded
//               next to it and moved into the product folder, the library released and deleted.
//   floor:      the same containers, written to files once before the rounds, each decoded by
//               DecompVXFormat2NomFile of the statically linked codec (what `vxtool unpack` does,
//               without starting a process per container).
//   file steps: the floor plus the file work of the setup's passes, without the panel and the
//               staging: splits the extraction's extra cost between file work, staging and panel.
//   vxtool.exe: the build's vxtool run once per container, as a user would; in rounds of their
//               own after the others. Skipped when the build has no vxtool.exe.
//
// The executable carries the setup's own resources, so the containers are those of
// FennSetup.exe. With the default build they hold stand-ins: the debug codec library, a small
// updater program and two small placeholder libraries. The panel is shown (a hidden panel reads
// as a cancelled setup and the extraction would stop at once), so every yield and the codec's
// own message pump do real work. Each round times the first three back to back, the installed
// and decoded files are deleted after each, and a first round warms the file cache and is not
// counted.
//
//   cmake --build build/<dir> --target extraction_win32
//   tests/win32/with-display scripts/wine-run build/<dir>/bench/extraction_win32.exe [rounds]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "complib.h"
#include "installer/CodecStage.h"
#include "installer/PayloadInstaller.h"
#include "platform/win32/Win32Platform.h"
#include "resources/ResourceIds.h"
#include "setup/FormDescription.h"
#include "setup/frmPanel.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::wstring kWorkFolder = L"C:\\fenn-bench-extraction";
const std::wstring kProductFolder = kWorkFolder + L"\\product";
const std::wstring kFloorFolder = kWorkFolder + L"\\floor";
constexpr int kFirstPayload = FENN_FIRST_PAYLOAD_ID;
constexpr int kPayloadCount = 4;

struct Payload {
  int id = 0;
  std::wstring name;         // target name, from the string table
  size_t containerSize = 0;  // the "CUSTOM" resource as stored (padding included)
  std::string container;     // narrow path of the container file the floor decodes
  std::string output;        // narrow path of the floor's decoded file
};

double Milliseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

size_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<size_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Reads the catalogue the way the setup does and writes each container to a file for the floor.
bool PrepareFloor(fenn::Win32Platform& platform, std::vector<Payload>& payloads) {
  for (int id = kFirstPayload; id < kFirstPayload + kPayloadCount; ++id) {
    Payload payload;
    payload.id = id;
    const std::optional<std::wstring> name = platform.loadResourceString(id);
    const std::optional<std::vector<uint8_t>> data = platform.loadResourceData(id);
    if (!name || !data) {
      std::fprintf(stderr, "payload %d is missing from the resources\n", id);
      return false;
    }
    payload.name = *name;
    const std::vector<uint8_t>& bytes = *data;
    payload.containerSize = bytes.size();
    const std::wstring container = kFloorFolder + L"\\payload" + std::to_wstring(id) + L".vx";
    if (!platform.writeBytes(container, bytes)) {
      std::fprintf(stderr, "cannot write %ls\n", container.c_str());
      return false;
    }
    payload.container = platform.toAnsi(container);
    payload.output = platform.toAnsi(container + L".out");
    payloads.push_back(payload);
  }
  return true;
}

struct ExtractionTimes {
  double total = 0;    // ms, staging to release
  double staging = 0;  // ms, load mode and release mode together
};

// One extraction as the setup sequence runs it; false when a payload did not arrive.
bool ExtractOnce(fenn::Platform& platform, fenn::frmPanel& form,
                 const std::vector<Payload>& payloads, ExtractionTimes& times) {
  const auto start = Clock::now();
  fenn::CodecStage stage(platform);
  const bool staged = stage.StageDecompressor(false);
  const auto extractStart = Clock::now();
  if (staged) fenn::PayloadInstaller(platform, form, stage).ExtractPayloads(kProductFolder, L"");
  const auto extractEnd = Clock::now();
  stage.StageDecompressor(true);
  const auto end = Clock::now();
  times.total = Milliseconds(end - start);
  times.staging = Milliseconds((extractStart - start) + (end - extractEnd));
  if (!staged) {
    std::fprintf(stderr, "the codec library could not be staged\n");
    return false;
  }
  bool complete = true;
  for (const auto& payload : payloads) {
    const std::wstring installed = kProductFolder + L"\\" + payload.name;
    if (!Exists(installed)) {
      std::fprintf(stderr, "%ls was not installed\n", payload.name.c_str());
      complete = false;
    }
    DeleteFileW(installed.c_str());
  }
  return complete;
}

bool UnpackOnce(const std::vector<Payload>& payloads, double& milliseconds) {
  const auto start = Clock::now();
  bool complete = true;
  for (const auto& payload : payloads) {
    const int32_t status =
        DecompVXFormat2NomFile(payload.container.c_str(), payload.output.c_str());
    if (status != 0) {
      std::fprintf(stderr, "unpack of payload %d failed: %ld\n", payload.id,
                   static_cast<long>(status));
      complete = false;
    }
  }
  milliseconds = Milliseconds(Clock::now() - start);
  for (const auto& payload : payloads) DeleteFileA(payload.output.c_str());
  return complete;
}

// The floor plus the file work of the setup's passes (resource read, temp file, write, decode
// next to it, delete, two moves into the product folder), without the panel and without staging
// the codec library: tells the cost of the file steps from that of the panel and the staging.
bool FileStepsOnce(fenn::Win32Platform& platform, const std::vector<Payload>& payloads,
                   double& milliseconds) {
  const auto start = Clock::now();
  bool complete = true;
  for (const auto& payload : payloads) {
    const std::optional<std::vector<uint8_t>> container = platform.loadResourceData(payload.id);
    const std::wstring tempPath = platform.createTempFile(platform.tempPath(), L"~oc");
    if (!container || tempPath.empty() || !platform.writeBytes(tempPath, *container)) {
      complete = false;
      continue;
    }
    const std::wstring outputPath = tempPath + L".bin";
    const int32_t status = DecompVXFormat2NomFile(platform.toAnsi(tempPath).c_str(),
                                                  platform.toAnsi(outputPath).c_str());
    platform.deleteFile(tempPath);
    if (status != 0 || !platform.renameFile(outputPath, tempPath) ||
        !platform.renameFile(tempPath, kProductFolder + L"\\" + payload.name)) {
      complete = false;
    }
  }
  milliseconds = Milliseconds(Clock::now() - start);
  for (const auto& payload : payloads) {
    DeleteFileW((kProductFolder + L"\\" + payload.name).c_str());
  }
  if (!complete) std::fprintf(stderr, "the file steps alone did not place every payload\n");
  return complete;
}

// The build's vxtool.exe beside this benchmark (<build>/tools/vxtool next to <build>/bench), or
// the empty text. Wine names a program started from a host path "unix\\..." here, a path it
// opens only in the form "\\\\?\\unix\\...".
std::wstring FindVxtool() {
  wchar_t module[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
  if (length == 0 || length >= MAX_PATH * 4) return std::wstring();
  std::wstring path(module, length);
  if (path.rfind(L"unix\\", 0) == 0) path = L"\\\\?\\" + path;
  for (int level = 0; level < 2; ++level) {  // up from bench\extraction_win32.exe
    const size_t slash = path.find_last_of(L"\\");
    if (slash == std::wstring::npos) return std::wstring();
    path.resize(slash);
  }
  path += L"\\tools\\vxtool\\vxtool.exe";
  return Exists(path) ? path : std::wstring();
}

// `vxtool unpack` as a user runs it: one process per container, each waited for.
bool VxtoolOnce(const std::wstring& vxtool, fenn::Win32Platform& platform,
                const std::vector<Payload>& payloads, double& milliseconds) {
  const auto start = Clock::now();
  bool complete = true;
  for (const auto& payload : payloads) {
    std::wstring commandLine = L"\"" + vxtool + L"\" unpack \"" +
                               platform.fromAnsi(payload.container) + L"\" \"" +
                               platform.fromAnsi(payload.output) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    DWORD exitCode = 1;
    if (CreateProcessW(vxtool.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       nullptr, kWorkFolder.c_str(), &startup, &process)) {
      WaitForSingleObject(process.hProcess, INFINITE);
      GetExitCodeProcess(process.hProcess, &exitCode);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    if (exitCode != 0) {
      std::fprintf(stderr, "vxtool unpack of payload %d failed (%lu)\n", payload.id,
                   static_cast<unsigned long>(exitCode));
      complete = false;
    }
  }
  milliseconds = Milliseconds(Clock::now() - start);
  for (const auto& payload : payloads) DeleteFileA(payload.output.c_str());
  return complete;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Best(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

void RemoveWorkFolder(const std::vector<Payload>& payloads) {
  for (const auto& payload : payloads) {
    DeleteFileA(payload.container.c_str());
    DeleteFileA(payload.output.c_str());
    DeleteFileW((kProductFolder + L"\\" + payload.name).c_str());
  }
  RemoveDirectoryW(kFloorFolder.c_str());
  RemoveDirectoryW(kProductFolder.c_str());
  RemoveDirectoryW(kWorkFolder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int rounds = argc > 1 ? std::max(1, _wtoi(argv[1])) : 20;

  CreateDirectoryW(kWorkFolder.c_str(), nullptr);
  CreateDirectoryW(kProductFolder.c_str(), nullptr);
  CreateDirectoryW(kFloorFolder.c_str(), nullptr);

  fenn::Win32Platform platform;
  fenn::frmPanel form(platform);
  platform.createPanel(fenn::PanelFormDescription(), form);
  platform.showPanel();
  platform.setLabelText(L"extraction benchmark");

  std::vector<Payload> payloads;
  bool ok = PrepareFloor(platform, payloads);
  const std::wstring vxtool = FindVxtool();

  std::vector<double> extraction, staging, floor, fileSteps, vxtoolRuns;
  for (int round = 0; ok && round <= rounds; ++round) {
    ExtractionTimes times;
    double unpackMs = 0, fileStepsMs = 0;
    ok = ExtractOnce(platform, form, payloads, times) && UnpackOnce(payloads, unpackMs) &&
         FileStepsOnce(platform, payloads, fileStepsMs);
    if (!platform.panelVisible()) {
      std::fprintf(stderr, "the panel went away\n");
      ok = false;
    }
    if (round == 0) continue;  // warm-up
    extraction.push_back(times.total);
    staging.push_back(times.staging);
    floor.push_back(unpackMs);
    fileSteps.push_back(fileStepsMs);
  }
  // Apart from the rounds above: the ending child processes keep Wine busy for a while, which
  // would fall on whatever is timed next.
  for (int round = 0; ok && !vxtool.empty() && round < rounds; ++round) {
    double vxtoolMs = 0;
    ok = VxtoolOnce(vxtool, platform, payloads, vxtoolMs);
    vxtoolRuns.push_back(vxtoolMs);
  }

  if (ok) {
    std::printf("payload extraction on Win32Platform (Wine) against a plain unpack, %d rounds\n",
                rounds);
    std::printf("payloads (stand-ins unless the build was given the real files):\n");
    size_t containers = 0, plain = 0;
    for (const auto& payload : payloads) {
      // Sizes of the last floor output are gone; decode once more to report the plain size.
      DecompVXFormat2NomFile(payload.container.c_str(), payload.output.c_str());
      const size_t size = FileSize(platform.fromAnsi(payload.output));
      DeleteFileA(payload.output.c_str());
      std::printf("  %d %-13ls container %8zu bytes, plain %8zu bytes\n", payload.id,
                  payload.name.c_str(), payload.containerSize, size);
      containers += payload.containerSize;
      plain += size;
    }
    std::printf("  total            container %8zu bytes, plain %8zu bytes\n", containers, plain);
    std::printf("                     median       best  (ms)\n");
    std::printf("  extraction      %9.2f  %9.2f  (stage, extract all four, release)\n",
                Median(extraction), Best(extraction));
    std::printf(
        "    of which staging %7.2f  %9.2f  (codec library written, loaded, freed, deleted)\n",
        Median(staging), Best(staging));
    std::printf("  unpack (floor)  %9.2f  %9.2f  (DecompVXFormat2NomFile per container)\n",
                Median(floor), Best(floor));
    std::printf(
        "  file steps      %9.2f  %9.2f  (the floor with the passes' file work, no panel,\n"
        "                                    no staging)\n",
        Median(fileSteps), Best(fileSteps));
    // The machine may be busy with other work; the ratio within each round (both measured
    // back to back) is the steadiest of the three.
    std::vector<double> ratios;
    for (size_t i = 0; i < extraction.size(); ++i) ratios.push_back(extraction[i] / floor[i]);
    std::printf(
        "  ratio extraction / floor: %.2f of the medians, %.2f of the bests, %.2f the\n"
        "  median of the rounds' own ratios (target at most 1.2)\n",
        Median(extraction) / Median(floor), Best(extraction) / Best(floor), Median(ratios));
    if (vxtool.empty()) {
      std::printf("  vxtool.exe not found beside this build: its runs were skipped\n");
    } else {
      std::printf(
          "  vxtool.exe unpack %7.2f  %9.2f  (one process per container, started and\n"
          "                                    waited for)\n",
          Median(vxtoolRuns), Best(vxtoolRuns));
      std::printf("  ratio extraction / vxtool.exe runs: %.2f of the medians\n",
                  Median(extraction) / Median(vxtoolRuns));
    }
  }

  platform.destroyPanel();
  RemoveWorkFolder(payloads);
  return ok ? 0 : 1;
}
