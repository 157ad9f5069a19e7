// A second Windows process for the fault scenarios: it holds files the way another program on the
// machine would, and reads what the setup shows on screen through the window system.
//
//   FaultHelper hold <file> <ready-file>
//       Waits until <file> exists and can be opened, opens it for reading and shares nothing, not
//       even reading: no other process may read, write, rename or delete it.
//   FaultHelper hold-shared-read <file> <ready-file>
//       The same, but shares reading only: the file can still be loaded as a library, never
//       deleted.
//   FaultHelper load <file> <ready-file>
//       Waits until <file> exists and loads it as a library.
//   FaultHelper texts <desktop> <window title> <out-file> <timeout-s> [<child text>]
//       Waits for a top-level window of exactly that title on that desktop (and, when given, for
//       a child of exactly that text, and then reads the children once more), then writes the
//       texts of its children, each followed by a NUL, as UTF-8. A message box's text is one of
//       them. Exit status 1: no such window in time (how many looks it took goes to stderr); 3:
//       the desktop could not be entered; 4: the out-file could not be written.
//   FaultHelper move <from> <to> <out-file>
//       Renames <from> to <to> (MoveFileExW, as a user's program would) and writes "moved" or
//       "refused <error>" to <out-file>.
//   FaultHelper attributes <path> <out-file>
//       Writes the attributes of <path> as GetFileAttributesW and as a listing report them.
//   FaultHelper end-session <desktop> <window title> <ready-file> <out-file>
//       Does to that window what Windows does at a logoff: finds it, writes <ready-file>, sends
//       WM_QUERYENDSESSION and then, whatever the answer, WM_ENDSESSION with TRUE, and ends the
//       window's process the moment that call returns; writes "query <answer>" and "ended <0|1>"
//       to <out-file>.
//
// The holding modes write <ready-file>.waiting as they start looking for the file and <ready-file>
// once they hold it, and end when <ready-file>.stop appears (or after ten minutes, so that a
// forgotten helper never outlives a test run). Exit code 0 on success, 1 when the awaited thing
// never came, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMilliseconds = 2;
constexpr DWORD kHoldLimitMilliseconds = 10 * 60 * 1000;
constexpr DWORD kFindLimitMilliseconds = 60 * 1000;

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size,
                      nullptr, nullptr);
  return out;
}

bool WriteFileText(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  return CloseHandle(file) && ok;
}

// Keeps whatever the caller holds until the test asks the helper to end.
int HoldUntilStopped(const std::wstring& readyFile) {
  if (!WriteFileText(readyFile, "held\n")) return 1;
  const std::wstring stopFile = readyFile + L".stop";
  const DWORD start = GetTickCount();
  while (!Exists(stopFile) && GetTickCount() - start < kHoldLimitMilliseconds) Sleep(50);
  return 0;
}

// Tells the test that the file is looked for from now on: a file that appears later is caught.
bool SayWaiting(const std::wstring& readyFile) {
  return WriteFileText(readyFile + L".waiting", "waiting\n");
}

int Hold(const std::wstring& path, const std::wstring& readyFile, DWORD share) {
  // The setup writes the file with no sharing; the open succeeds once that write has closed it.
  if (!SayWaiting(readyFile)) return 1;
  HANDLE file = INVALID_HANDLE_VALUE;
  const DWORD start = GetTickCount();
  while (file == INVALID_HANDLE_VALUE) {
    file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetTickCount() - start > kHoldLimitMilliseconds) return 1;
      Sleep(kPollMilliseconds);
    }
  }
  int result = HoldUntilStopped(readyFile);
  CloseHandle(file);
  return result;
}

int Load(const std::wstring& path, const std::wstring& readyFile) {
  if (!SayWaiting(readyFile)) return 1;
  HMODULE module = nullptr;
  const DWORD start = GetTickCount();
  while (!module) {
    if (Exists(path)) module = LoadLibraryW(path.c_str());
    if (!module) {
      if (GetTickCount() - start > kHoldLimitMilliseconds) return 1;
      Sleep(kPollMilliseconds);
    }
  }
  int result = HoldUntilStopped(readyFile);
  FreeLibrary(module);
  return result;
}

struct WindowSearch {
  const std::wstring* title;
  HWND found;
};

std::wstring WindowText(HWND window) {
  wchar_t buffer[1024] = {};
  int length = GetWindowTextW(window, buffer, 1024);
  return std::wstring(buffer, length > 0 ? length : 0);
}

BOOL CALLBACK MatchTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  if (IsWindowVisible(window) && WindowText(window) == *search->title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM context) {
  reinterpret_cast<std::vector<std::wstring>*>(context)->push_back(WindowText(child));
  return TRUE;
}

std::vector<std::wstring> ChildTexts(HWND window) {
  std::vector<std::wstring> texts;
  EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

// The setup runs on a desktop of its own; its windows are only found from a thread on it.
bool EnterDesktop(const std::wstring& desktopName) {
  HDESK desktop = OpenDesktopW(desktopName.c_str(), 0, FALSE, GENERIC_ALL);
  return desktop && SetThreadDesktop(desktop);
}

// The first visible top-level window of exactly that title on the thread's desktop, or null.
HWND FindTitledWindow(const std::wstring& title) {
  WindowSearch search{&title, nullptr};
  EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int Texts(const std::wstring& desktopName, const std::wstring& title, const std::wstring& outFile,
          DWORD timeoutSeconds, const std::wstring* requiredChild) {
  if (!EnterDesktop(desktopName)) return 3;
  const DWORD start = GetTickCount();
  unsigned long looks = 0;
  do {
    ++looks;
    HWND window = FindTitledWindow(title);
    if (window) {
      std::vector<std::wstring> texts = ChildTexts(window);
      bool complete = !requiredChild;
      for (const std::wstring& text : texts) complete = complete || text == *requiredChild;
      if (complete) {
        // The children are read one at a time while the setup may be changing them, and it
        // changes its step text before the caption waited for: a read that found the caption
        // may still hold the step text from before. A read begun after it holds both.
        if (requiredChild) texts = ChildTexts(window);
        std::string out;
        for (const std::wstring& text : texts) out += Utf8(text) + '\0';
        return WriteFileText(outFile, out) ? 0 : 4;
      }
    }
    Sleep(50);
  } while (GetTickCount() - start < timeoutSeconds * 1000);
  std::fprintf(stderr, "no such window after %lu looks, ticks %lu to %lu\n", looks,
               static_cast<unsigned long>(start), static_cast<unsigned long>(GetTickCount()));
  return 1;
}

int EndSession(const std::wstring& desktopName, const std::wstring& title,
               const std::wstring& readyFile, const std::wstring& outFile) {
  if (!EnterDesktop(desktopName)) return 1;
  HWND window = nullptr;
  const DWORD start = GetTickCount();
  while (!(window = FindTitledWindow(title))) {
    if (GetTickCount() - start > kFindLimitMilliseconds) return 1;
    Sleep(50);
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
  if (!process || !WriteFileText(readyFile, "found\n")) return 1;
  // Sent, not posted: like Windows, the sender waits until the window's thread has answered,
  // which it can only do from a message loop (the codec's pump, say).
  const LRESULT answer = SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
  SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  // What the system does once WM_ENDSESSION has returned; from a test, any later would let the
  // program run on meanwhile.
  const bool ended = TerminateProcess(process, 1) && WaitForSingleObject(process, 30000) == 0;
  CloseHandle(process);
  char line[64];
  std::snprintf(line, sizeof line, "query %ld\nended %d\n", static_cast<long>(answer),
                ended ? 1 : 0);
  return WriteFileText(outFile, line) ? 0 : 1;
}

int Attributes(const std::wstring& path, const std::wstring& outFile) {
  char line[128];
  std::string out;
  std::snprintf(line, sizeof line, "GetFileAttributesW %08lx\n",
                static_cast<unsigned long>(GetFileAttributesW(path.c_str())));
  out += line;
  WIN32_FIND_DATAW entry;
  HANDLE listing = FindFirstFileW(path.c_str(), &entry);
  if (listing != INVALID_HANDLE_VALUE) {
    std::snprintf(line, sizeof line, "FindFirstFileW %08lx reserved0 %08lx\n",
                  static_cast<unsigned long>(entry.dwFileAttributes),
                  static_cast<unsigned long>(entry.dwReserved0));
    out += line;
    FindClose(listing);
  } else {
    std::snprintf(line, sizeof line, "FindFirstFileW error %lu\n",
                  static_cast<unsigned long>(GetLastError()));
    out += line;
  }
  return WriteFileText(outFile, out) ? 0 : 1;
}

int Move(const std::wstring& from, const std::wstring& to, const std::wstring& outFile) {
  char line[64] = "moved\n";
  if (!MoveFileExW(from.c_str(), to.c_str(), 0)) {
    std::snprintf(line, sizeof line, "refused %lu\n", static_cast<unsigned long>(GetLastError()));
  }
  return WriteFileText(outFile, line) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"hold" && argc == 4) return Hold(argv[2], argv[3], 0);
  if (mode == L"hold-shared-read" && argc == 4) return Hold(argv[2], argv[3], FILE_SHARE_READ);
  if (mode == L"load" && argc == 4) return Load(argv[2], argv[3]);
  if (mode == L"texts" && (argc == 6 || argc == 7)) {
    std::wstring required = argc == 7 ? argv[6] : L"";
    return Texts(argv[2], argv[3], argv[4], wcstoul(argv[5], nullptr, 10),
                 argc == 7 ? &required : nullptr);
  }
  if (mode == L"move" && argc == 5) return Move(argv[2], argv[3], argv[4]);
  if (mode == L"attributes" && argc == 4) return Attributes(argv[2], argv[3]);
  if (mode == L"end-session" && argc == 6) return EndSession(argv[2], argv[3], argv[4], argv[5]);
  std::fprintf(stderr, "usage: see the comment at the top of FaultHelper.cpp\n");
  return 2;
}
