// Stand-in for the updater K3Fenn.exe, installed by setups built without the real payloads. It
// says on screen that it is a stand-in, leaves "K3Fenn.started" beside itself with the command line
// it was given and the working folder it started in (so a test can tell it ran, and how), and
// closes after a few seconds or on a click or Esc.
#include <windows.h>

#include <string>

namespace {

const wchar_t kTitle[] = L"K3Fenn (시험용 대역)";
const wchar_t kNotice[] =
    L"시험용 대역 프로그램입니다. 실제 업데이터가 아닙니다.\r\nK3Fenn stand-in: not the real "
    L"updater.";
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kLifetimeMs = 5000;

std::wstring ownFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

std::string utf8Line(const std::wstring& text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(length > 0 ? length - 1 : 0, '\0');
  if (length > 1)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], length, nullptr, nullptr);
  return utf8 + "\r\n";
}

std::wstring workingFolder() {
  wchar_t folder[MAX_PATH] = {};
  DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  return length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

// The marker holds two lines in UTF-8: the command line, then the working folder.
void writeStartedMarker() {
  const std::string utf8 = utf8Line(GetCommandLineW()) + utf8Line(workingFolder());
  std::wstring marker = ownFolder() + L"K3Fenn.started";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC context = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      InflateRect(&client, -12, -12);
      SetBkMode(context, TRANSPARENT);
      HGDIOBJ previous = SelectObject(context, GetStockObject(DEFAULT_GUI_FONT));
      DrawTextW(context, kNotice, -1, &client, DT_LEFT | DT_WORDBREAK);
      SelectObject(context, previous);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) DestroyWindow(window);
      return 0;
    case WM_LBUTTONUP:
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showStyle) {
  writeStartedMarker();
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"K3FennStandin";
  RegisterClassW(&windowClass);
  HWND window =
      CreateWindowExW(0, windowClass.lpszClassName, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                      CW_USEDEFAULT, CW_USEDEFAULT, 420, 140, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, showStyle);
  UpdateWindow(window);
  SetTimer(window, kCloseTimer, kLifetimeMs, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
