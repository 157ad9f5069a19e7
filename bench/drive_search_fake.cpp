// Drive search on a generated tree of about 20,000 folders held by FakePlatform, timed against a
// bare walk that makes the same listing calls in the same order and never yields (the floor).
// Prints both times and their ratio; the product file is absent, so both walks cover everything.
//
//   cmake --build build/<dir> --target drive_search_fake && build/<dir>/bench/drive_search_fake
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "FakePlatform.h"
#include "KoreanMachine.h"
#include "locator/ProductLocator.h"
#include "setup/FormDescription.h"
#include "setup/frmPanel.h"

namespace {

using Clock = std::chrono::steady_clock;

// On the Korean test machine: 20 top folders, 10 below each, 99 below each of those: 20,220
// folders, plus a few files.
int BuildTree(fenn::fake::FakePlatform& platform) {
  fenn::fake::BuildKoreanMachine(platform);
  int folders = 0;
  for (int a = 0; a < 20; ++a) {
    const std::wstring top = L"C:\\Top" + std::to_wstring(a);
    for (int b = 0; b < 10; ++b) {
      const std::wstring middle = top + L"\\Mid" + std::to_wstring(b);
      for (int c = 0; c < 99; ++c) platform.fs.addFolder(middle + L"\\Leaf" + std::to_wstring(c));
      platform.fs.addFile(middle + L"\\data.bin");
      folders += 99 + 1;
    }
    ++folders;
  }
  return folders;
}

// The same listings as the search, with nothing else: file test, then the "*." listing read to
// its end, then the descents.
void BareWalk(fenn::Platform& platform, const std::wstring& folder) {
  if (!platform.listFirst(folder + L"k3main.exe", fenn::kListNormalFiles).name.empty()) return;
  std::vector<std::wstring> subfolders;
  for (fenn::ListResult entry = platform.listFirst(folder + L"*.", fenn::kListFilesAndFolders);
       !entry.failed && !entry.name.empty(); entry = platform.listNext()) {
    if (entry.name != L"." && entry.name != L"..") subfolders.push_back(entry.name);
  }
  for (const auto& name : subfolders) BareWalk(platform, folder + name + L"\\");
}

double Seconds(Clock::duration elapsed) {
  return std::chrono::duration<double>(elapsed).count();
}

}  // namespace

int main() {
  fenn::fake::FakePlatform platform;
  const int folders = BuildTree(platform);
  fenn::frmPanel panel(platform);
  platform.createPanel(fenn::PanelFormDescription(), panel);
  platform.showPanel();
  platform.stallLimit = 1 << 30;
  fenn::ProductLocator search(platform, panel);
  std::vector<std::wstring> productFiles;
  fenn::ProductLocator::FillProductFileNames(productFiles);

  constexpr int kRounds = 5;
  double floorBest = 1e9, searchBest = 1e9;
  size_t floorListings = 0, searchListings = 0;
  for (int round = 0; round < kRounds; ++round) {
    platform.fs.listLog.clear();
    auto start = Clock::now();
    BareWalk(platform, L"C:\\");
    floorBest = std::min(floorBest, Seconds(Clock::now() - start));
    floorListings = platform.fs.listLog.size();

    platform.fs.listLog.clear();
    start = Clock::now();
    const std::wstring found = search.FindOnFixedDrives(productFiles);
    searchBest = std::min(searchBest, Seconds(Clock::now() - start));
    searchListings = platform.fs.listLog.size();
    if (!found.empty()) std::printf("unexpected find\n");
  }

  std::printf("drive search on FakePlatform, %d folders, best of %d rounds\n", folders, kRounds);
  std::printf("  bare walk (floor): %8.2f ms  %zu listings\n", floorBest * 1e3, floorListings);
  std::printf("  FindOnFixedDrives: %8.2f ms  %zu listings, %d yields in all rounds\n",
              searchBest * 1e3, searchListings, platform.yields);
  std::printf("  ratio: %.2f x the floor\n", searchBest / floorBest);
  return 0;
}
