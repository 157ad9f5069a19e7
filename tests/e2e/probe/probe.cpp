// A small stand-in for the setup program, used to prove the end-to-end harness on its own:
// a fixed dialog-like window with a Hangul title and two buttons driven through IsDialogMessage.
//   Alt+R   writes "probe.marker" beside the executable and exits.
//   Esc     shows a box titled "알림", then exits once it is dismissed.
// With the argument "fail" it shows only a box titled "에러" and exits when it is dismissed.
// With "squat" it plays another user's program against the setup: it makes the names the setup's
// claim once had (a mutex open to everyone, held, and an event), shows a minimised window of the
// setup panel's class titled "점유자 창", writes "squat.ready" beside itself, and then hangs: it
// never handles a message again.
#include <windows.h>

#include <string>

namespace {

constexpr int kRunId = 100;
const wchar_t kTitle[] = L"프로브 창";

void WriteMarkerBesideSelf(const wchar_t* name = L"probe.marker") {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring marker(path, n);
  marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + name;
  HANDLE h = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == kRunId) {
        WriteMarkerBesideSelf();
        DestroyWindow(hwnd);
      } else if (LOWORD(wp) == IDCANCEL) {
        MessageBoxW(hwnd, L"작업을 취소합니다.", L"알림", MB_ICONEXCLAMATION | MB_OK);
        DestroyWindow(hwnd);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

[[noreturn]] void Squat(HINSTANCE inst) {
  SECURITY_DESCRIPTOR open;
  InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES everyone = {sizeof everyone, &open, FALSE};
  CreateMutexW(&everyone, TRUE, L"Global\\FennSetup.SetupRun");
  CreateEventW(&everyone, TRUE, FALSE, L"Local\\FennSetup.SetupRun");
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = inst;
  wc.lpszClassName = L"FennSetupPanel";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"점유자 창", WS_OVERLAPPEDWINDOW, 50, 50, 300,
                              100, nullptr, nullptr, inst, nullptr);
  ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
  WriteMarkerBesideSelf(L"squat.ready");
  for (;;) Sleep(INFINITE);
}

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR cmdline, int) {
  if (std::wstring(cmdline) == L"squat") Squat(inst);
  if (std::wstring(cmdline) == L"fail") {
    MessageBoxW(nullptr, L"프로브를 찾을 수 없습니다.\r\n다시 시도해 주십시오.", L"에러",
                MB_ICONEXCLAMATION | MB_OK);
    return 0;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"FennProbe";
  RegisterClassW(&wc);
  HWND hwnd =
      CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, wc.lpszClassName, kTitle,
                      WS_CAPTION | WS_SYSMENU, 100, 100, 340, 110, nullptr, nullptr, inst, nullptr);
  HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, HANGUL_CHARSET, 0, 0, 0, FIXED_PITCH,
                           L"굴림체");
  auto add = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
                 int id) {
    HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  };
  add(L"STATIC", L"프로브가 준비되었습니다.", 0, 8, 15, 300, 14, -1);
  add(L"BUTTON", L"취소(&C)", WS_TABSTOP | BS_PUSHBUTTON, 115, 40, 89, 24, IDCANCEL);
  add(L"BUTTON", L"실행(&R)", WS_TABSTOP | BS_PUSHBUTTON, 214, 40, 89, 24, kRunId);
  ShowWindow(hwnd, SW_SHOWNORMAL);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  DeleteObject(font);
  return 0;
}
