// What only the real system can show, beyond the platform contract: links in a listing and in the
// desktop user's judgement, a started program's command line and working folder either way, and
// the call into a real codec library.
#include <gtest/gtest.h>

#include <string>

#include "TestFolder.h"
#include "complib.h"
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

std::vector<uint8_t> bytesOf(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> contentOf(const std::wstring& path) {
  bool ok = false;
  std::vector<uint8_t> bytes = test::readFile(path, ok);
  EXPECT_TRUE(ok) << "cannot read a file the test expects";
  return bytes;
}

TEST(ListingLinkTest, LinksAreMarkedAsSuch) {
  Win32Platform platform;
  // Laid out by the test launcher: a folder and a symbolic link to it.
  const std::wstring fixture = L"C:\\fenn-link-fixture\\";
  if (GetFileAttributesW((fixture + L"link").c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no link fixture: run the tests through run-platform-tests";
  }
  ListResult real = platform.listFirst(fixture + L"real", kListFilesAndFolders);
  EXPECT_EQ(real.name, L"real");
  EXPECT_FALSE(real.link);
  ListResult link = platform.listFirst(fixture + L"link", kListFilesAndFolders);
  EXPECT_EQ(link.name, L"link");
  EXPECT_TRUE(link.link);
  // A folder is held as itself, never through a link; held, it cannot be renamed.
  EXPECT_EQ(platform.holdFolder(fixture + L"link"), nullptr);
  {
    const std::unique_ptr<HeldFolder> held = platform.holdFolder(fixture + L"real");
    ASSERT_NE(held, nullptr);
    EXPECT_FALSE(MoveFileExW((fixture + L"real").c_str(), (fixture + L"moved").c_str(), 0));
  }
  bool linkSeen = false;
  for (ListResult entry = platform.listFirst(fixture, kListFilesAndFolders); !entry.name.empty();
       entry = platform.listNext()) {
    if (entry.name == L"link") linkSeen = entry.link;
  }
  EXPECT_TRUE(linkSeen) << "listNext marks links too";

  // The desktop user's judgement reads the link itself, never the folder it points to.
  ASSERT_TRUE(platform.findDesktopUser());
  const EntryAccess folder = platform.desktopUserAccess(fixture + L"real", kWriteDac);
  EXPECT_TRUE(folder.known);
  EXPECT_FALSE(folder.link);
  EXPECT_TRUE(platform.desktopUserAccess(fixture + L"link", kWriteDac).link);
  EXPECT_FALSE(platform.desktopUserAccess(fixture + L"absent", kWriteDac).known);
  // Wine keeps no descriptor: every entry is the user's own, and its owner may change its
  // permissions.
  EXPECT_EQ(folder.rights, kWriteDac);
}

std::string Utf8(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(length - 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], length, nullptr, nullptr);
  return utf8;
}

TEST(ProgramTest, StartsTheProgramWithItsQuotedPathInItsWorkingFolderEitherWay) {
  test::TestFolder folder;
  Win32Platform platform;
  ASSERT_TRUE(platform.findDesktopUser()) << "Wine runs explorer.exe in the session";
  std::wstring updater = folder / L"톨바리네 K3Fenn.exe";
  std::wstring marker = folder / L"K3Fenn.started";
  ASSERT_TRUE(test::writeEmbeddedFile(test::kEmbeddedStandinUpdater, updater));
  for (StartAs as : {StartAs::Setup, StartAs::DesktopUser}) {
    SCOPED_TRACE(as == StartAs::Setup ? "with the setup's token" : "as the desktop user");
    DeleteFileW(marker.c_str());
    ASSERT_TRUE(platform.startProgram(updater, folder.path(), as));

    // The marker can be seen before the started program has written and closed it.
    std::vector<uint8_t> written;
    for (int wait = 0; wait < 200 && written.empty(); ++wait) {
      bool ok = false;
      if (test::fileExists(marker)) written = test::readFile(marker, ok);
      if (written.empty()) Sleep(50);
    }
    ASSERT_FALSE(written.empty()) << "the started program wrote no marker";
    // The command line, then the working folder.
    std::wstring working = folder.path();
    if (working.size() > 3 && working.back() == L'\\') working.pop_back();
    EXPECT_EQ(std::string(written.begin(), written.end()),
              "\"" + Utf8(updater) + "\"\r\n" + Utf8(working) + "\r\n");
    // In a normal window: shown, neither minimised nor maximised. The window exists a moment
    // before it is shown; on a slow machine (an emulated CPU) that moment is long.
    HWND started = nullptr;
    for (int wait = 0; wait < 200; ++wait) {
      started = FindWindowW(L"K3FennStandin", nullptr);
      if (started && IsWindowVisible(started)) break;
      Sleep(50);
    }
    ASSERT_NE(started, nullptr);
    EXPECT_TRUE(IsWindowVisible(started) && !IsIconic(started) && !IsZoomed(started));
    // Closed before the next start, so that the window found is the new one's.
    for (int wait = 0; wait < 100 && FindWindowW(L"K3FennStandin", nullptr); ++wait) {
      if (HWND window = FindWindowW(L"K3FennStandin", nullptr))
        PostMessageW(window, WM_CLOSE, 0, 0);
      Sleep(50);
    }
  }
  // Let the stand-in's file go so it can be removed with the folder.
  for (int wait = 0; wait < 100 && !DeleteFileW(updater.c_str()); ++wait) Sleep(50);

  EXPECT_FALSE(platform.startProgram(folder / L"absent.exe", folder.path(), StartAs::Setup));
  EXPECT_FALSE(platform.startProgram(folder / L"absent.exe", folder.path(), StartAs::DesktopUser));
}

class CodecCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library = folder / L"CompVLib.DLL";
    ASSERT_TRUE(test::writeEmbeddedFile(test::kEmbeddedCodecLibrary, library));
    module = platform.loadLibrary(library);
    ASSERT_NE(module, 0u);
  }
  void TearDown() override { platform.freeLibrary(module); }

  test::TestFolder folder;
  Win32Platform platform;
  std::wstring library;
  ModuleHandle module = 0;
};

TEST_F(CodecCallTest, DecompressesThroughTheModuleLoadedByFullPath) {
  auto compress = reinterpret_cast<Comp2VXFormatFileFn>(reinterpret_cast<void*>(
      GetProcAddress(reinterpret_cast<HMODULE>(module), "Comp2VXFormatFile")));
  ASSERT_NE(compress, nullptr);
  std::string content(100000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  std::wstring normal = folder.addFile(L"원본.bin", content);
  std::string source = platform.toAnsi(normal);
  std::string packed = platform.toAnsi(folder / L"packed.vx");
  ASSERT_EQ(compress(source.c_str(), packed.c_str(), 9), 0);

  EXPECT_EQ(platform.callDecompress(module, folder / L"packed.vx", folder / L"복원.bin"), 0);
  EXPECT_EQ(contentOf(folder / L"복원.bin"), bytesOf(content));

  // A copy on its way into a product folder on another volume keeps the times the codec restored
  // (the host keeps no creation time; the other two must stay). The copy's read of its source
  // moves the source's last access: the times are taken before.
  auto timesOf = [](const std::wstring& path, FILETIME& access, FILETIME& write) {
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(GetFileTime(file, nullptr, &access, &write));
    CloseHandle(file);
  };
  FILETIME restored[2], copied[2];
  timesOf(folder / L"복원.bin", restored[0], restored[1]);
  const std::unique_ptr<HeldFolder> held = platform.holdFolder(folder.path());
  ASSERT_NE(held, nullptr);
  ASSERT_TRUE(held->copyInto(folder / L"복원.bin", L"~복사 중", L"복사본.bin"));
  timesOf(folder / L"복사본.bin", copied[0], copied[1]);
  EXPECT_EQ(contentOf(folder / L"복사본.bin"), bytesOf(content));
  EXPECT_EQ(CompareFileTime(&restored[0], &copied[0]), 0) << "last access";
  EXPECT_EQ(CompareFileTime(&restored[1], &copied[1]), 0) << "last write";

  const std::optional<int32_t> absent =
      platform.callDecompress(module, folder / L"absent.vx", folder / L"out.bin");
  ASSERT_TRUE(absent.has_value());
  EXPECT_NE(*absent, 0);
}

TEST_F(CodecCallTest, UnreachableFunctionIsReportedNotCalled) {
  EXPECT_EQ(platform.callDecompress(0, L"a", L"b"), std::nullopt);
  ModuleHandle kernel = reinterpret_cast<ModuleHandle>(GetModuleHandleW(L"kernel32.dll"));
  EXPECT_EQ(platform.callDecompress(kernel, L"a", L"b"), std::nullopt);
  EXPECT_EQ(platform.loadLibrary(folder / L"absent.dll"), 0u);
}

}  // namespace
}  // namespace fenn
