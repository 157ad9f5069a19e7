// Yielding to the window system and the modal message box.
#include "platform/win32/PanelKeyboard.h"
#include "platform/win32/Win32Platform.h"

namespace fenn {

void Win32Platform::yield() {
  // Every pending message, then back to the caller: no waiting, no other work in between.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;  // nothing in this program ends by WM_QUIT
    if (handledAsPanelKeystroke(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  rethrowEventError();
}

void Win32Platform::waitForMessage() {
  // MWMO_INPUTAVAILABLE: also wake for input that is already queued but was not looked at yet.
  MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

void Win32Platform::messageBox(const std::wstring& text, const std::wstring& title) {
  // Owned by the panel while it is on screen, so the box stays above it and the panel takes no
  // input until the box is dismissed.
  HWND owner = panel_ && IsWindowVisible(panel_) ? panel_ : nullptr;
  MessageBoxW(owner, text.c_str(), title.c_str(), MB_ICONEXCLAMATION | MB_OK);  // flags 48
  rethrowEventError();  // the box's own message loop raises the panel's events too
}

}  // namespace fenn
