// The panel as a real window: built hidden from the form description, converted for the screen's
// DPI (96 in the usual test prefix: 15 twips per pixel; a second run uses 144), the
// label sizing itself to its text, and the keyboard and close routes into the panel's events.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/win32/Win32Platform.h"
#include "setup/FormDescription.h"

namespace fenn {
namespace {

struct RecordedEvents : PanelEvents {
  int runClicks = 0;
  int cancelClicks = 0;
  std::vector<int16_t> unloadModes;
  int16_t refuse = -1;  // what Form_QueryUnload answers
  void cmdRun_Click() override { ++runClicks; }
  void cmdCancel_Click() override {
    ++cancelClicks;
    if (failCancel) throw std::runtime_error("cmdCancel_Click failed");
  }
  bool failCancel = false;
  void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) override {
    unloadModes.push_back(UnloadMode);
    Cancel = refuse;
  }
  void Form_EndSession() override { ++sessionEnds; }
  int sessionEnds = 0;
};

int screenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// Twips to pixels at the screen's DPI.
int px(int twips) {
  return MulDiv(twips, screenDpi(), 1440);
}

RECT childRect(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// What a message box looked like while it was open; filled by a timer that then dismisses it.
struct BoxSeen {
  bool shown = false;
  HWND owner = nullptr;
  std::wstring title, text;
  HICON icon = nullptr;
  bool onlyOk = false;  // an OK button and no other
};
BoxSeen boxSeen;

BOOL CALLBACK findBox(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The icon of the box's icon control (its id differs between systems).
BOOL CALLBACK findIcon(HWND child, LPARAM found) {
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  *reinterpret_cast<HICON*>(found) =
      reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
  return FALSE;
}

void CALLBACK inspectAndDismissBox(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), findBox, reinterpret_cast<LPARAM>(&box));
  if (!box) return;
  KillTimer(nullptr, timer);
  wchar_t text[256] = {};
  boxSeen.shown = true;
  boxSeen.owner = GetWindow(box, GW_OWNER);
  GetWindowTextW(box, text, 256);
  boxSeen.title = text;
  GetDlgItemTextW(box, 0xFFFF, text, 256);  // the box's text control
  boxSeen.text = text;
  EnumChildWindows(box, findIcon, reinterpret_cast<LPARAM>(&boxSeen.icon));
  boxSeen.onlyOk = GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL) && !GetDlgItem(box, IDYES);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.createPanel(PanelFormDescription(), events);
    ASSERT_NE(platform.panelWindow(), nullptr);
  }
  void TearDown() override { platform.destroyPanel(); }

  void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0) {
    ASSERT_TRUE(PostMessageW(window, message, wParam, lParam));
  }
  HWND cancel() { return platform.buttonWindow(PanelButton::Cancel); }
  HWND run() { return platform.buttonWindow(PanelButton::Run); }
  int labelWidth() {
    RECT rect = childRect(platform.labelWindow());
    return rect.right - rect.left;
  }

  RecordedEvents events;
  Win32Platform platform;
};

constexpr LPARAM kAltDown = 1 << 29;  // the context bit of a key pressed with Alt

TEST_F(PanelTest, FixedDialogBuiltHiddenFromTheFormDescription) {
  HWND panel = platform.panelWindow();
  EXPECT_FALSE(platform.panelVisible());
  wchar_t title[64] = {};
  GetWindowTextW(panel, title, 64);
  EXPECT_STREQ(title, L"톨바리네 업데이터 설치");
  LONG style = GetWindowLongW(panel, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  EXPECT_TRUE(GetWindowLongW(panel, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  EXPECT_EQ(GetWindow(panel, GW_OWNER), nullptr);

  RECT client;
  GetClientRect(panel, &client);
  EXPECT_EQ(client.right, px(4800));
  EXPECT_EQ(client.bottom, px(1080));
  if (screenDpi() == 96) {
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 72);
  }

  EXPECT_EQ(GetDlgCtrlID(cancel()), IDCANCEL);
  RECT cancelRect = childRect(cancel());
  EXPECT_EQ(cancelRect.left, px(1725));
  EXPECT_EQ(cancelRect.top, px(600));
  EXPECT_EQ(cancelRect.right - cancelRect.left, px(1335));
  EXPECT_EQ(cancelRect.bottom - cancelRect.top, px(360));
  RECT runRect = childRect(run());
  EXPECT_EQ(runRect.left, px(3210));
  EXPECT_EQ(runRect.top, px(600));
  EXPECT_EQ(runRect.right - runRect.left, px(1335));
  if (screenDpi() == 96) {
    EXPECT_EQ(cancelRect.left, 115);
    EXPECT_EQ(runRect.left, 214);
    EXPECT_EQ(runRect.bottom - runRect.top, 24);
  }
  EXPECT_FALSE(GetWindowLongW(run(), GWL_STYLE) & WS_VISIBLE);
  EXPECT_TRUE(GetWindowLongW(cancel(), GWL_STYLE) & WS_VISIBLE);
  for (HWND button : {run(), cancel()}) {
    EXPECT_EQ(GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON) << "no default";
  }
  EXPECT_EQ(platform.buttonCaption(PanelButton::Run), L"실행(&R)");
  EXPECT_EQ(platform.buttonCaption(PanelButton::Cancel), L"취소(&C)");
}

TEST_F(PanelTest, FontIsAFixedPitchHangulFaceAtNinePoints) {
  EXPECT_FALSE(platform.panelFontFace().empty());
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(cancel(), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  HDC context = GetDC(cancel());
  HGDIOBJ previous = SelectObject(context, font);
  TEXTMETRICW metrics;
  GetTextMetricsW(context, &metrics);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(context, LF_FACESIZE, face);
  SelectObject(context, previous);
  ReleaseDC(cancel(), context);
  EXPECT_EQ(metrics.tmCharSet, HANGUL_CHARSET);
  EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "(the flag is set for variable)";
  EXPECT_EQ(metrics.tmHeight - metrics.tmInternalLeading, MulDiv(9, screenDpi(), 72));  // 9 pt
  EXPECT_EQ(metrics.tmWeight, 400);
  EXPECT_EQ(std::wstring(face), platform.panelFontFace()) << "the font mapper took another face";
}

TEST_F(PanelTest, LabelWidthFollowsItsTextAndItsCornerStays) {
  platform.setLabelText(L"ABCDEFGHIJ");
  int halfWidth = labelWidth() / 10;
  EXPECT_EQ(labelWidth(), 10 * halfWidth);
  EXPECT_EQ(halfWidth, px(90)) << "90 twips per half-width character";
  platform.setLabelText(L"설치를 완료하였습니다.");  // 10 syllables, a space and a full stop
  EXPECT_EQ(labelWidth(), 10 * 2 * halfWidth + 2 * halfWidth);
  platform.setLabelText(L"BEGIN");
  EXPECT_EQ(labelWidth(), 5 * halfWidth);
  RECT rect = childRect(platform.labelWindow());
  EXPECT_EQ(rect.left, px(120));
  EXPECT_EQ(rect.top, px(225));
  EXPECT_GE(rect.bottom - rect.top, px(180));
  wchar_t text[32] = {};
  GetWindowTextW(platform.labelWindow(), text, 32);
  EXPECT_STREQ(text, L"BEGIN");
}

TEST_F(PanelTest, EscAndAccessKeysClickTheButtonsThroughYield) {
  post(cancel(), WM_KEYDOWN, VK_ESCAPE);
  platform.yield();
  EXPECT_EQ(events.cancelClicks, 1);

  post(cancel(), WM_SYSCHAR, L'c', kAltDown);
  platform.yield();
  EXPECT_EQ(events.cancelClicks, 2);

  post(cancel(), WM_SYSCHAR, L'r', kAltDown);  // cmdRun is hidden: no click
  platform.yield();
  EXPECT_EQ(events.runClicks, 0);

  platform.setButtonVisible(PanelButton::Run, true);
  platform.setButtonCaption(PanelButton::Cancel, L"완료(&F)");
  post(cancel(), WM_SYSCHAR, L'r', kAltDown);
  post(cancel(), WM_SYSCHAR, L'f', kAltDown);
  post(cancel(), WM_SYSCHAR, L'c', kAltDown);  // the old access key is gone
  platform.yield();
  EXPECT_EQ(events.runClicks, 1);
  EXPECT_EQ(events.cancelClicks, 3);
  EXPECT_EQ(events.unloadModes.size(), 0u);
}

TEST_F(PanelTest, KeysWorkInAForeignNarrowMessageLoopToo) {
  // The codec library pumps messages with the narrow functions while it decompresses.
  auto foreignLoop = [] {
    MSG message;
    for (int round = 0; round < 3; ++round) {
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  };
  post(cancel(), WM_KEYDOWN, VK_ESCAPE);
  foreignLoop();
  EXPECT_EQ(events.cancelClicks, 1);
  // An error of the event never unwinds through that loop; the setup's next pump throws it.
  events.failCancel = true;
  post(cancel(), WM_KEYDOWN, VK_ESCAPE);
  foreignLoop();
  EXPECT_EQ(events.cancelClicks, 2);
  EXPECT_THROW(platform.yield(), std::runtime_error);
  EXPECT_NO_THROW(platform.yield());
}

TEST_F(PanelTest, ButtonClicksAndCloseRequestsReachTheEvents) {
  platform.setButtonVisible(PanelButton::Run, true);
  SendMessageW(run(), BM_CLICK, 0, 0);
  platform.yield();
  EXPECT_EQ(events.runClicks, 1);
  EXPECT_EQ(events.cancelClicks, 0);

  platform.showPanel();
  EXPECT_TRUE(platform.panelVisible());
  // A second start asks, and the panel itself comes back from the taskbar.
  ShowWindow(platform.panelWindow(), SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(platform.panelWindow()));
  post(platform.panelWindow(), Win32Platform::kComeForward, 0);
  platform.yield();
  EXPECT_FALSE(IsIconic(platform.panelWindow()));
  post(platform.panelWindow(), WM_CLOSE, 0);
  platform.yield();
  ASSERT_EQ(events.unloadModes, (std::vector<int16_t>{0}));
  EXPECT_TRUE(platform.panelVisible()) << "a refused close leaves the panel to its handler";

  events.refuse = 0;
  post(platform.panelWindow(), WM_CLOSE, 0);
  platform.yield();
  EXPECT_FALSE(platform.panelVisible());
  EXPECT_TRUE(IsWindow(platform.panelWindow())) << "only the program's own unload destroys it";

  SendMessageW(platform.panelWindow(), WM_QUERYENDSESSION, 0, 0);
  EXPECT_EQ(events.unloadModes.size(), 3u);
  EXPECT_EQ(events.unloadModes.back(), 2);
  // A logoff another program vetoed does not end anything; one that goes through does.
  SendMessageW(platform.panelWindow(), WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(events.sessionEnds, 0);
  SendMessageW(platform.panelWindow(), WM_QUERYENDSESSION, 0, 0);
  SendMessageW(platform.panelWindow(), WM_ENDSESSION, TRUE, 0);
  EXPECT_EQ(events.sessionEnds, 1);
  EXPECT_EQ(events.unloadModes.size(), 4u) << "one close request per session end";
}

TEST_F(PanelTest, MessageBoxIsModalAndOwnedByThePanelWhileItIsShown) {
  const std::wstring notFound = L"톨바리네를 찾을 수 없습니다.\r\n톨바리네를 다시 설치해 주십시오.";
  platform.showPanel();
  boxSeen = BoxSeen();
  SetTimer(nullptr, 0, 100, inspectAndDismissBox);
  platform.messageBox(notFound, L"에러");
  ASSERT_TRUE(boxSeen.shown) << "messageBox returned before the box was dismissed";
  EXPECT_EQ(boxSeen.owner, platform.panelWindow());
  EXPECT_EQ(boxSeen.title, L"에러");
  EXPECT_EQ(boxSeen.text, notFound);
  // Flags 48: the exclamation icon and a single OK button.
  EXPECT_EQ(boxSeen.icon, LoadIconW(nullptr, IDI_EXCLAMATION));
  EXPECT_TRUE(boxSeen.onlyOk);

  platform.hidePanel();
  boxSeen = BoxSeen();
  SetTimer(nullptr, 0, 100, inspectAndDismissBox);
  platform.messageBox(L"작업을 취소합니다.", L"알림");
  ASSERT_TRUE(boxSeen.shown);
  EXPECT_EQ(boxSeen.owner, nullptr) << "a hidden panel owns no box";
  EXPECT_EQ(boxSeen.title, L"알림");
}

TEST_F(PanelTest, VisibilityIsKeptPerButton) {
  platform.showPanel();
  platform.setButtonVisible(PanelButton::Run, true);
  EXPECT_TRUE(IsWindowVisible(run()));
  platform.hidePanel();
  EXPECT_FALSE(platform.panelVisible());
  platform.destroyPanel();
  EXPECT_EQ(platform.panelWindow(), nullptr);
  EXPECT_FALSE(platform.panelVisible());
}

}  // namespace
}  // namespace fenn
