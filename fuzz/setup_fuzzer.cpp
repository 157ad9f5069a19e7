// Runs the whole setup on machines made from fuzz input: drives of every type, folder trees with
// dotted names, extensionless files and junction cycles, the product in any place or missing files,
// registry values of any type and content, listing errors, read-only and full folders, a codec
// library already in the system directory, missing or corrupt payload resources, and a user who
// clicks Cancel, presses Esc, closes the window or clicks Run at any yield.
//
// Whatever the machine and the user do, the run must end, and afterwards:
//   - every file that was there before is still there with the same bytes;
//   - new files exist only in a folder that holds the product, under a catalogue name;
//   - nothing is left in the temp folder or, as the staged codec library, in the system directory.
#include <fuzzer/FuzzedDataProvider.h>

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "AnsiText.h"
#include "FakePlatform.h"
#include "KoreanMachine.h"
#include "resources/ResourceIds.h"
#include "setup/basMain.h"

namespace {

using fenn::fake::FakePlatform;
using fenn::fake::kDefaultFolder;
using fenn::fake::kProductFiles;
using fenn::fake::kSystemDirectory;
using fenn::fake::kTempFolder;
const std::vector<std::wstring>& kCatalogue = fenn::fake::kCatalogueNames;
const std::vector<std::wstring> kNameParts = {L"A",   L"b",        L"Tools.old",  L"README",
                                              L"x y", L"톨바리네", L"k3main.exe", L"Apps"};

struct Snapshot {
  std::map<std::wstring, std::vector<uint8_t>> files;  // full path -> bytes
};

void Walk(FakePlatform& platform, const std::wstring& folder, int depth, Snapshot& out) {
  if (depth > 10) return;  // junctions can make the tree endless
  for (const auto& name : platform.fs.entries(folder)) {
    const std::wstring path = folder + name;
    if (platform.fs.isLink(path)) continue;  // reached under its real path
    if (platform.fs.isFolder(path)) {
      Walk(platform, path + L"\\", depth + 1, out);
    } else {
      out.files[path] = platform.fs.contents(path);
    }
  }
}

Snapshot Take(FakePlatform& platform) {
  Snapshot snapshot;
  const uint32_t drives = platform.fs.logicalDrives();
  for (int number = 0; number < 26; ++number) {
    if ((drives & (1u << number)) == 0) continue;
    std::wstring root = std::wstring(1, static_cast<wchar_t>(L'A' + number)) + L":\\";
    Walk(platform, root, 0, snapshot);
  }
  return snapshot;
}

template <typename T>
const T& Pick(FuzzedDataProvider& input, const std::vector<T>& values) {
  return values[input.ConsumeIntegralInRange<size_t>(0, values.size() - 1)];
}

std::wstring FolderOf(const std::wstring& path) {
  return path.substr(0, path.rfind(L'\\'));
}

std::wstring NameOf(const std::wstring& path) {
  return path.substr(path.rfind(L'\\') + 1);
}

void Fail(const char* what, const std::wstring& path) {
  std::setlocale(LC_ALL, "C.UTF-8");
  std::fprintf(stderr, "setup_fuzzer: %s: %ls\n", what, path.c_str());
  std::abort();
}

std::wstring RandomFolder(FuzzedDataProvider& input, wchar_t drive) {
  std::wstring path = std::wstring(1, drive) + L":";
  const int depth = input.ConsumeIntegralInRange(0, 3);
  for (int level = 0; level < depth; ++level) path += L"\\" + Pick(input, kNameParts);
  return path;
}

// Building can ask for something the fake file system refuses (a folder where a file stands);
// such a piece of the machine is simply left out.
template <typename Build>
void Attempt(Build build) {
  try {
    build();
  } catch (const std::exception&) {
  }
}

void BuildMachine(FuzzedDataProvider& input, FakePlatform& platform) {
  fenn::fake::BuildKoreanMachine(platform);
  auto& fs = platform.fs;
  const uint32_t driveTypes[] = {fenn::kDriveFixed, fenn::fake::kDriveRemovable,
                                 fenn::fake::kDriveRemote, fenn::fake::kDriveCdRom};
  for (wchar_t drive : {L'A', L'D', L'E'}) {
    if (input.ConsumeBool()) fs.addDrive(drive, input.PickValueInArray(driveTypes));
  }
  auto pickDrive = [&]() {
    const wchar_t letters[] = {L'A', L'C', L'D', L'E'};
    const wchar_t letter = input.PickValueInArray(letters);
    return (fs.logicalDrives() & (1u << (letter - L'A'))) ? letter : L'C';
  };

  // Clutter: folders, extensionless files, junctions back up the tree.
  for (int count = input.ConsumeIntegralInRange(0, 12); count > 0; --count) {
    const std::wstring folder = RandomFolder(input, pickDrive());
    const int kind = input.ConsumeIntegralInRange(0, 3);
    const std::wstring entry = folder + L"\\" + Pick(input, kNameParts);
    Attempt([&] {
      if (folder.size() > 2) fs.addFolder(folder);
      switch (kind) {
        case 0:
          fs.addFolder(entry);
          break;
        case 1:
          fs.addFile(entry, "clutter");
          break;
        case 2:
          fs.addLink(folder + L"\\loop", FolderOf(entry));
          break;
        default:
          fs.setListingError(folder + L"\\");
          break;
      }
    });
  }

  // The product, whole or in part, in one or more places.
  std::vector<std::wstring> places = {kDefaultFolder};
  for (int count = input.ConsumeIntegralInRange(0, 2); count > 0; --count) {
    places.push_back(RandomFolder(input, pickDrive()) + L"\\Product");
  }
  for (const auto& place : places) {
    if (!input.ConsumeBool()) continue;
    for (const auto& name : kProductFiles) {
      if (input.ConsumeIntegralInRange(0, 15) == 0) continue;  // a missing product file
      const uint32_t attributes = input.ConsumeIntegralInRange(0, 15) == 0 ? 0x02 : 0;
      Attempt([&] { fs.addFile(place + L"\\" + name, "product file", attributes); });
    }
    // Files the product folder may already have, some of them read-only.
    for (const auto& name : kCatalogue) {
      if (input.ConsumeIntegralInRange(0, 5) == 0) {
        const uint32_t attributes = input.ConsumeBool() ? 0x01 : 0;
        Attempt([&] {
          fs.addFile(place + L"\\" + name, "older " + std::string(name.begin(), name.end()),
                     attributes);
        });
      }
    }
    if (input.ConsumeIntegralInRange(0, 7) == 0 && fs.isFolder(place)) fs.setWriteProtected(place);
  }

  // The registry value: absent, or any bytes (of any type), often a real folder.
  if (input.ConsumeBool()) {
    platform.registry.addKey(L"SOFTWARE\\Valto Corp.");
    if (input.ConsumeBool()) {
      std::string bytes = input.ConsumeBool() ? fenn::fake::ToCp949(Pick(input, places)) + '\0'
                                              : input.ConsumeRandomLengthString(2048);
      platform.registry.setValue(L"SOFTWARE\\Valto Corp.", L"ApplicationPath", bytes);
    }
  }

  // The system directory, the temp folder and the codec library.
  if (input.ConsumeIntegralInRange(0, 7) == 0) {
    fs.addFile(std::wstring(kSystemDirectory) + L"\\CompVLib.DLL", "codec library from before");
  }
  for (const auto& name : {L"cfgmgr32.dll", L"setupapi.dll", L"SETUPAPI.DLL"}) {
    if (input.ConsumeBool()) fs.addFile(std::wstring(kSystemDirectory) + L"\\" + name, "system");
  }
  if (input.ConsumeIntegralInRange(0, 9) == 0) fs.setWriteProtected(kSystemDirectory);
  if (input.ConsumeIntegralInRange(0, 9) == 0) fs.setWriteProtected(kTempFolder);
  if (input.ConsumeIntegralInRange(0, 9) == 0) {
    fs.setWriteQuota(kTempFolder, input.ConsumeIntegralInRange<size_t>(0, 64));
  }
  platform.systemDirectoryFails = input.ConsumeIntegralInRange(0, 15) == 0;
  platform.tempPathFails = input.ConsumeIntegralInRange(0, 15) == 0;
  platform.codecEntryMissing = input.ConsumeIntegralInRange(0, 15) == 0;

  // The executable's resources: the catalogue, some of it missing or corrupt.
  for (size_t index = 0; index < kCatalogue.size(); ++index) {
    const int id = FENN_FIRST_PAYLOAD_ID + static_cast<int>(index);
    if (input.ConsumeIntegralInRange(0, 15) == 0) platform.resourceStrings.erase(id);
    switch (input.ConsumeIntegralInRange(0, 9)) {
      case 0:
        platform.customResources.erase(id);
        break;
      case 1: {
        const std::string junk = input.ConsumeRandomLengthString(64);
        platform.customResources[id] = std::vector<uint8_t>(junk.begin(), junk.end());
        break;
      }
      default:
        break;  // the intact container
    }
  }
  if (input.ConsumeIntegralInRange(0, 15) == 0)
    platform.customResources.erase(FENN_CODEC_LIBRARY_ID);

  // The user.
  const fenn::fake::UserAction actions[] = {
      fenn::fake::UserAction::ClickRun, fenn::fake::UserAction::ClickCancel,
      fenn::fake::UserAction::PressEsc, fenn::fake::UserAction::CloseRequest};
  for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
    platform.actAtYield(input.ConsumeIntegralInRange(1, 60), input.PickValueInArray(actions));
  }
}

bool HoldsProduct(const Snapshot& after, const std::wstring& folder) {
  return after.files.count(folder + L"\\k3main.exe") != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  FakePlatform platform;
  BuildMachine(input, platform);
  platform.stallLimit = 20000;
  // Once the panel has completed and nobody scripted anything, the person clicks Finish.
  bool finished = false;
  platform.duringYield = [&]() {
    if (!finished && platform.visible && platform.cmdRun.visible && platform.yields > 80) {
      finished = true;
      platform.perform(fenn::fake::UserAction::ClickCancel);
    }
  };

  const Snapshot before = Take(platform);
  fenn::Main(platform);
  const Snapshot after = Take(platform);

  if (platform.stalled) {
    Fail("the run did not end; last status text",
         platform.labelLog.empty() ? L"" : platform.labelLog.back());
  }
  if (platform.visible) Fail("the panel is still visible after Main", L"");

  for (const auto& [path, bytes] : before.files) {
    auto now = after.files.find(path);
    if (now == after.files.end()) Fail("a file that was there before is gone", path);
    if (now->second != bytes) Fail("a file that was there before has changed", path);
  }
  for (const auto& [path, bytes] : after.files) {
    if (before.files.count(path) != 0) continue;
    const std::wstring folder = FolderOf(path);
    bool catalogueName = false;
    for (const auto& name : kCatalogue) catalogueName = catalogueName || NameOf(path) == name;
    if (!catalogueName || !HoldsProduct(after, folder)) Fail("a file was left here", path);
  }
  // What the run handed to the deletion at the next start and removed itself, it took back.
  for (const std::wstring& pending : platform.deletedAtRestart) {
    bool there = false;
    for (const auto& file : after.files) there = there || fenn::fake::SameName(file.first, pending);
    if (!there) Fail("a deletion at restart outlived its file", pending);
  }
  return 0;
}
