// The panel: a fixed dialog-style top-level window built from the form description, with a label
// that sizes itself to its text and two push buttons. cmdCancel has the id IDCANCEL, so the dialog
// manager turns Esc into its click; neither button is the default button.
#include <algorithm>
#include <vector>

#include "platform/win32/PanelFont.h"
#include "platform/win32/PanelKeyboard.h"
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

constexpr const wchar_t* kPanelClass = Win32Platform::kPanelClass;
constexpr DWORD kPanelStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kPanelExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
// Button clicks are posted back to the panel and raised from there, so an event handler always
// runs from a message loop's dispatch, never from inside the dialog manager or the keyboard hook.
constexpr UINT kRaiseClick = WM_APP + 1;
// Unload modes of a close request: the close box, and Windows ending the session.
constexpr int16_t kUnloadFromControlMenu = 0;
constexpr int16_t kUnloadSessionEnding = 2;

void registerPanelClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kPanelClass, &existing)) return;
  WNDCLASSEXW panelClass = {};
  panelClass.cbSize = sizeof panelClass;
  panelClass.lpfnWndProc = procedure;
  panelClass.hInstance = instance;
  panelClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  panelClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  panelClass.lpszClassName = kPanelClass;
  RegisterClassExW(&panelClass);
}

int screenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

// The control's own visible flag, whether or not the panel around it is on screen.
bool shownByStyle(HWND window) {
  return window && (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::wstring windowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], length + 1)));
  return text;
}

}  // namespace

Win32Platform::Win32Platform() = default;

Win32Platform::~Win32Platform() {
  destroyPanel();
  endListing();
  if (setupRun_ != INVALID_HANDLE_VALUE) CloseHandle(setupRun_);  // the file goes with it
  if (desktopUser_) CloseHandle(desktopUser_);
  if (desktopUserCheck_) CloseHandle(desktopUserCheck_);
}

int Win32Platform::toPixels(int twips) const {
  return MulDiv(twips, dpi_, 1440);
}

HWND Win32Platform::createControl(const wchar_t* className, const ControlDescription& control,
                                  DWORD style, int id) {
  DWORD visibility = control.visible ? WS_VISIBLE : 0;
  HWND window = CreateWindowExW(
      0, className, control.caption.c_str(), WS_CHILD | visibility | style, toPixels(control.left),
      toPixels(control.top), toPixels(control.width), toPixels(control.height), panel_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return window;
}

void Win32Platform::createPanel(const FormDescription& form, PanelEvents& events) {
  destroyPanel();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  registerPanelClass(instance, panelProc);
  events_ = &events;
  dpi_ = screenDpi();
  fontFace_ = choosePanelFontFace(form);
  font_ = createPanelFont(form, fontFace_, dpi_);

  RECT frame = {0, 0, toPixels(form.clientWidth), toPixels(form.clientHeight)};
  AdjustWindowRectEx(&frame, kPanelStyle, FALSE, kPanelExStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  // No owner to centre on: centre on the work area of the primary screen.
  RECT workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
  int left = workArea.left + std::max(0L, (workArea.right - workArea.left - width) / 2);
  int top = workArea.top + std::max(0L, (workArea.bottom - workArea.top - height) / 2);

  panel_ = CreateWindowExW(kPanelExStyle, kPanelClass, form.caption.c_str(), kPanelStyle, left, top,
                           width, height, nullptr, nullptr, instance, this);
  if (!panel_) return;

  // Created in tab order (lbDesc 0, cmdCancel 1, cmdRun 2): the window order is the tab order.
  struct Child {
    const ControlDescription* control;
    HWND* window;
    const wchar_t* className;
    DWORD style;
    int id;
  };
  std::vector<Child> children = {
      {&form.lbDesc, &lbDesc_, L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, kLabelId},
      {&form.cmdCancel, &cmdCancel_, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL},
      {&form.cmdRun, &cmdRun_, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, kRunButtonId},
  };
  std::stable_sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
    return a.control->tabIndex < b.control->tabIndex;
  });
  for (const Child& child : children) {
    *child.window = createControl(child.className, *child.control, child.style, child.id);
  }
  fitLabelToText();

  for (int metric : {SM_CXICON, SM_CXSMICON}) {
    int size = GetSystemMetrics(metric);
    HANDLE icon =
        LoadImageW(instance, MAKEINTRESOURCEW(form.iconGroupId), IMAGE_ICON, size, size, LR_SHARED);
    WPARAM which = metric == SM_CXICON ? ICON_BIG : ICON_SMALL;
    if (icon) SendMessageW(panel_, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
  attachPanelKeyboard(panel_);
}

void Win32Platform::destroyPanel() {
  if (!panel_) return;
  detachPanelKeyboard();
  DestroyWindow(panel_);  // takes the controls with it
  panel_ = cmdRun_ = cmdCancel_ = lbDesc_ = nullptr;
  if (font_) DeleteObject(font_);
  font_ = nullptr;
  events_ = nullptr;
}

void Win32Platform::showPanel() {
  if (!panel_) return;
  ShowWindow(panel_, SW_SHOWNORMAL);
  UpdateWindow(panel_);
}

void Win32Platform::hidePanel() {
  if (panel_) ShowWindow(panel_, SW_HIDE);
}

bool Win32Platform::panelVisible() {
  return panel_ && IsWindowVisible(panel_);
}

void Win32Platform::fitLabelToText() {
  // Auto-size: the top left corner stays, width and height follow the text on one line.
  std::wstring text = windowText(lbDesc_);
  HDC context = GetDC(lbDesc_);
  HGDIOBJ previous = SelectObject(context, font_);
  SIZE extent = {0, 0};
  GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &extent);
  TEXTMETRICW metrics = {};
  GetTextMetricsW(context, &metrics);
  SelectObject(context, previous);
  ReleaseDC(lbDesc_, context);
  SetWindowPos(lbDesc_, nullptr, 0, 0, extent.cx, std::max<LONG>(extent.cy, metrics.tmHeight),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Platform::setLabelText(const std::wstring& text) {
  if (!lbDesc_) return;
  SetWindowTextW(lbDesc_, text.c_str());
  fitLabelToText();
}

std::wstring Win32Platform::buttonCaption(PanelButton button) {
  HWND window = buttonWindow(button);
  return window ? windowText(window) : std::wstring();
}

void Win32Platform::setButtonCaption(PanelButton button, const std::wstring& caption) {
  if (HWND window = buttonWindow(button)) SetWindowTextW(window, caption.c_str());
}

void Win32Platform::setButtonVisible(PanelButton button, bool visible) {
  HWND window = buttonWindow(button);
  if (!window) return;
  if (!visible && GetFocus() == window) SetFocus(panel_);
  ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Platform::raiseCloseRequest(int16_t unloadMode) {
  if (!events_) return;
  int16_t cancel = 0;
  events_->Form_QueryUnload(cancel, unloadMode);
  // A close the handler allows takes the panel off the screen; the window itself stays until the
  // program's own unload destroys it.
  if (cancel == 0 && panel_) ShowWindow(panel_, SW_HIDE);
}

LRESULT CALLBACK Win32Platform::panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self || self->panel_ != window) return DefWindowProcW(window, message, wParam, lParam);
  try {
    return self->handleMessage(message, wParam, lParam);
  } catch (...) {
    if (!self->eventError_) self->eventError_ = std::current_exception();
    return message == WM_QUERYENDSESSION ? TRUE : 0;  // never block logoff
  }
}

void Win32Platform::rethrowEventError() {
  if (!eventError_) return;
  std::exception_ptr error = eventError_;
  eventError_ = nullptr;
  std::rethrow_exception(error);
}

LRESULT Win32Platform::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED) break;
      // Enter arrives as IDOK (there is no default button): it clicks the focused button.
      if (id == IDOK) {
        HWND focus = GetFocus();
        id = focus == cmdRun_ ? kRunButtonId : focus == cmdCancel_ ? IDCANCEL : 0;
      }
      if (id == kRunButtonId || id == IDCANCEL) PostMessageW(panel_, kRaiseClick, id, 0);
      return 0;
    }
    case kRaiseClick:
      if (!events_) return 0;
      if (wParam == kRunButtonId && shownByStyle(cmdRun_)) events_->cmdRun_Click();
      if (wParam == IDCANCEL) events_->cmdCancel_Click();
      return 0;
    case kComeForward:
      if (IsIconic(panel_)) ShowWindow(panel_, SW_RESTORE);
      SetForegroundWindow(panel_);
      return 0;
    case WM_CLOSE:
      raiseCloseRequest(kUnloadFromControlMenu);
      return 0;
    case WM_QUERYENDSESSION:
      if (!sessionEndingSeen_) raiseCloseRequest(kUnloadSessionEnding);
      sessionEndingSeen_ = true;
      return TRUE;  // the panel is hidden and the program ends on its own; never block logoff
    case WM_ENDSESSION:
      if (wParam && !sessionEndingSeen_) raiseCloseRequest(kUnloadSessionEnding);
      sessionEndingSeen_ = wParam != 0;
      // The session really ends: Windows ends the process once this returns.
      if (wParam && events_) events_->Form_EndSession();
      return 0;
    case WM_SETFOCUS: {
      // Focus goes to the first visible button rather than to the bare panel.
      HWND target = shownByStyle(cmdCancel_) ? cmdCancel_ : cmdRun_;
      if (shownByStyle(target)) SetFocus(target);
      return 0;
    }
  }
  return DefWindowProcW(panel_, message, wParam, lParam);
}

}  // namespace fenn
