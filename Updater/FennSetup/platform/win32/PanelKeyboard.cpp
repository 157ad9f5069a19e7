#include "platform/win32/PanelKeyboard.h"

namespace fenn {
namespace {

HWND keyboardPanel = nullptr;
HHOOK messageHook = nullptr;

bool isPanelKeystroke(const MSG& message) {
  return message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST &&
         (message.hwnd == keyboardPanel || IsChild(keyboardPanel, message.hwnd));
}

LRESULT CALLBACK routePanelKeys(int code, WPARAM removal, LPARAM lParam) {
  auto* message = reinterpret_cast<MSG*>(lParam);
  if (code == HC_ACTION && removal == PM_REMOVE && keyboardPanel && isPanelKeystroke(*message) &&
      IsDialogMessageW(keyboardPanel, message)) {
    // Handled (or translated and dispatched) by the dialog manager: the loop that took the
    // message from the queue must not dispatch it a second time.
    message->message = WM_NULL;
    message->wParam = 0;
    message->lParam = 0;
  }
  return CallNextHookEx(messageHook, code, removal, lParam);
}

}  // namespace

void attachPanelKeyboard(HWND panel) {
  detachPanelKeyboard();
  keyboardPanel = panel;
  messageHook = SetWindowsHookExW(WH_GETMESSAGE, routePanelKeys, nullptr, GetCurrentThreadId());
}

bool handledAsPanelKeystroke(MSG& message) {
  return !messageHook && keyboardPanel && isPanelKeystroke(message) &&
         IsDialogMessageW(keyboardPanel, &message);
}

void detachPanelKeyboard() {
  if (messageHook) UnhookWindowsHookEx(messageHook);
  messageHook = nullptr;
  keyboardPanel = nullptr;
}

}  // namespace fenn
