// Drive search on a real folder tree of about 20,000 folders, through Win32Platform, timed against
// a bare walk that makes the same listing calls in the same order and never yields (the floor).
// The panel is up while the search runs, so every yield really pumps messages. Prints both times
// and their ratio; the product file is absent, so both walks cover the whole tree.
//
//   cmake --build build/<dir> --target drive_search_win32
//   tests/win32/with-display scripts/wine-run build/<dir>/bench/drive_search_win32.exe
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "locator/ProductLocator.h"
#include "platform/win32/Win32Platform.h"
#include "setup/FormDescription.h"
#include "setup/frmPanel.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::wstring kRoot = L"C:\\fenn-bench-tree\\";

// 20 top folders, 10 below each, 99 below each of those: 20,020 folders, plus a file per middle
// folder. Removed again at the end, so it never slows down a later drive search in the prefix.
int BuildTree() {
  int folders = 0;
  CreateDirectoryW(kRoot.c_str(), nullptr);
  for (int a = 0; a < 20; ++a) {
    const std::wstring top = kRoot + L"Top" + std::to_wstring(a);
    CreateDirectoryW(top.c_str(), nullptr);
    ++folders;
    for (int b = 0; b < 10; ++b) {
      const std::wstring middle = top + L"\\Mid" + std::to_wstring(b);
      CreateDirectoryW(middle.c_str(), nullptr);
      ++folders;
      for (int c = 0; c < 99; ++c) {
        CreateDirectoryW((middle + L"\\Leaf" + std::to_wstring(c)).c_str(), nullptr);
        ++folders;
      }
      HANDLE file = CreateFileW((middle + L"\\data.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
      CloseHandle(file);
    }
  }
  return folders;
}

// The same listings as the search, with nothing else.
void BareWalk(fenn::Platform& platform, const std::wstring& folder, size_t& listings) {
  listings += 2;
  if (!platform.listFirst(folder + L"k3main.exe", fenn::kListNormalFiles).name.empty()) return;
  std::vector<std::wstring> subfolders;
  for (fenn::ListResult entry = platform.listFirst(folder + L"*.", fenn::kListFilesAndFolders);
       !entry.failed && !entry.name.empty(); entry = platform.listNext()) {
    if (entry.name != L"." && entry.name != L"..") subfolders.push_back(entry.name);
  }
  for (const auto& name : subfolders) BareWalk(platform, folder + name + L"\\", listings);
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &entry);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + L"\\");
      } else {
        DeleteFileW((folder + name).c_str());
      }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
  }
  RemoveDirectoryW(folder.c_str());
}

double Seconds(Clock::duration elapsed) {
  return std::chrono::duration<double>(elapsed).count();
}

}  // namespace

int wmain() {
  const int folders = BuildTree();
  fenn::Win32Platform platform;
  fenn::frmPanel panel(platform);
  platform.createPanel(fenn::PanelFormDescription(), panel);
  platform.showPanel();
  fenn::ProductLocator search(platform, panel);

  constexpr int kRounds = 3;
  double floorBest = 1e9, searchBest = 1e9;
  size_t listings = 0;
  for (int round = 0; round < kRounds; ++round) {
    listings = 0;
    auto start = Clock::now();
    BareWalk(platform, kRoot, listings);
    floorBest = std::min(floorBest, Seconds(Clock::now() - start));

    start = Clock::now();
    const std::wstring found = search.FindFileInTree(kRoot, L"k3main.exe");
    searchBest = std::min(searchBest, Seconds(Clock::now() - start));
    if (!found.empty()) std::printf("unexpected find\n");
    if (!platform.panelVisible()) std::printf("the panel went away: the search stopped early\n");
  }

  std::printf("drive search on Win32Platform (Wine), %d folders, best of %d rounds\n", folders,
              kRounds);
  std::printf("  bare walk (floor): %8.1f ms  %zu listings\n", floorBest * 1e3, listings);
  std::printf("  FindFileInTree:    %8.1f ms  (same listings, one yield per subfolder)\n",
              searchBest * 1e3);
  std::printf("  ratio: %.2f x the floor\n", searchBest / floorBest);
  platform.destroyPanel();
  RemoveTree(kRoot);
  return 0;
}
