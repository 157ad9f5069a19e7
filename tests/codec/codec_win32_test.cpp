// Windows only (run under Wine): how CompLib.dll meets the Win32 world: binding by name and
// ordinal, message pumping inside a call, a nested call from a window procedure, share modes and
// read-only sources.
#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

#include "test_support.h"

using namespace codec_test;

namespace {

TEST(CodecWin32, ExportsAreBoundByNameAndByOrdinalTwoAndThree) {
  HMODULE module = LoadLibraryA(libraryPath().c_str());
  ASSERT_NE(nullptr, module);
  FARPROC byName2 = GetProcAddress(module, "Comp2VXFormatFile");
  FARPROC byName3 = GetProcAddress(module, "DecompVXFormat2NomFile");
  ASSERT_NE(nullptr, byName2);
  ASSERT_NE(nullptr, byName3);
  EXPECT_EQ(byName2, GetProcAddress(module, MAKEINTRESOURCEA(2)));
  EXPECT_EQ(byName3, GetProcAddress(module, MAKEINTRESOURCEA(3)));
  EXPECT_EQ(nullptr, GetProcAddress(module, MAKEINTRESOURCEA(1)));
  EXPECT_EQ(nullptr, GetProcAddress(module, MAKEINTRESOURCEA(4)));
  EXPECT_TRUE(FreeLibrary(module));
}

// A message-only window of the test's own thread (it needs no display) that counts what reaches
// it.
struct Pump {
  static inline int received = 0;
  static inline int receivedInside = 0;
  static inline bool inside = false;
  static inline int repost = 0;  // post another message from each one handled, this many times
  static inline int nestedStatus = 1;
  static inline std::string nestedIn, nestedVx, nestedOut;

  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_APP) {
      ++received;
      if (inside) ++receivedInside;
      if (repost > 0) {
        --repost;
        PostMessageA(window, WM_APP, 0, 0);
      }
      return 0;
    }
    if (message == WM_APP + 1) {
      // A handler that runs another codec call inside the one in progress.
      nestedStatus = library().compress(nestedIn.c_str(), nestedVx.c_str(), 9);
      if (nestedStatus == 0)
        nestedStatus = library().decompress(nestedVx.c_str(), nestedOut.c_str());
      return 0;
    }
    return DefWindowProcA(window, message, w, l);
  }

  Pump() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "CodecPumpTest";
    RegisterClassA(&wc);
    window = CreateWindowExA(0, "CodecPumpTest", "pump", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             wc.hInstance, nullptr);
    received = receivedInside = 0;
    repost = 0;
  }
  ~Pump() { DestroyWindow(window); }

  HWND window = nullptr;
};

class CodecWin32Call : public ::testing::Test {
 protected:
  void SetUp() override {
    content_ = makeContent(2 << 20, 41);  // 512 pieces of 4096 bytes each way
    in_ = dir_.path("big");
    vx_ = dir_.path("big.vx");
    out_ = dir_.path("big.out");
    ASSERT_TRUE(writeFile(in_, content_));
    ASSERT_EQ(0, library().compress(in_.c_str(), vx_.c_str(), 6));
  }
  WorkDir dir_;
  Bytes content_;
  std::string in_, vx_, out_;
};

TEST_F(CodecWin32Call, MessagesPostedBeforeALargeDecompressAreDispatchedInsideIt) {
  Pump pump;
  ASSERT_NE(nullptr, pump.window);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(PostMessageA(pump.window, WM_APP, 0, 0));
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP + 7, 0, 0));
  // Each message handled posts the next one, 250 times: only a pump that runs again and again
  // during the call (before every 4096-byte read and write) gets through them all.
  Pump::repost = 250;
  Pump::inside = true;
  const int32_t status = library().decompress(vx_.c_str(), out_.c_str());
  Pump::inside = false;
  EXPECT_EQ(0, status);
  EXPECT_EQ(255, Pump::receivedInside);
  EXPECT_EQ(Pump::received, Pump::receivedInside);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) << "the queue is left empty";
  EXPECT_TRUE(readFile(out_) == content_);
}

TEST_F(CodecWin32Call, MessagesAreAlsoDispatchedDuringACompress) {
  Pump pump;
  Pump::repost = 125;
  ASSERT_TRUE(PostMessageA(pump.window, WM_APP, 0, 0));
  Pump::inside = true;
  EXPECT_EQ(0, library().compress(in_.c_str(), dir_.path("again.vx").c_str(), 1));
  Pump::inside = false;
  EXPECT_EQ(126, Pump::receivedInside);
}

TEST_F(CodecWin32Call, AHandlerMayRunAnotherCallInsideOne) {
  Pump pump;
  const Bytes small = makeContent(100000, 42);
  Pump::nestedIn = dir_.path("nested");
  Pump::nestedVx = dir_.path("nested.vx");
  Pump::nestedOut = dir_.path("nested.out");
  ASSERT_TRUE(writeFile(Pump::nestedIn, small));
  Pump::nestedStatus = 1;
  ASSERT_TRUE(PostMessageA(pump.window, WM_APP + 1, 0, 0));
  EXPECT_EQ(0, library().decompress(vx_.c_str(), out_.c_str()));
  EXPECT_EQ(0, Pump::nestedStatus);
  EXPECT_TRUE(readFile(Pump::nestedOut) == small);
  EXPECT_TRUE(readFile(out_) == content_);
  EXPECT_TRUE(tempCopies().empty());
}

TEST(CodecWin32, ASourceLockedByAnotherOpenerIsOpenFormatFile) {
  WorkDir dir;
  const std::string vx = dir.path("locked.vx"), out = dir.path("locked.out");
  Bytes file{0x78, 0xDA, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  file.resize(32, 0x01);
  ASSERT_TRUE(writeFile(vx, file));
  HANDLE lock = CreateFileA(vx.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  EXPECT_EQ(complib::kErrOpenFormatFile, library().decompress(vx.c_str(), out.c_str()));
  EXPECT_FALSE(fileExists(out));
  CloseHandle(lock);
  EXPECT_EQ(0, library().decompress(vx.c_str(), out.c_str()));
}

TEST(CodecWin32, AReadOnlySourceLeavesNoReadOnlyTemporaryCopy) {
  WorkDir dir;
  const std::string in = dir.path("ro"), vx = dir.path("ro.vx"), out = dir.path("ro.out");
  ASSERT_TRUE(writeFile(in, makeContent(10000, 43)));
  ASSERT_EQ(0, library().compress(in.c_str(), vx.c_str(), 9));
  ASSERT_TRUE(SetFileAttributesA(vx.c_str(), FILE_ATTRIBUTE_READONLY));
  const auto before = tempCopies();
  EXPECT_EQ(0, library().decompress(vx.c_str(), out.c_str()));
  EXPECT_EQ(before, tempCopies());
  SetFileAttributesA(vx.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
