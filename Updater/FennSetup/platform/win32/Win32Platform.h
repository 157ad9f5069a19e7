// The real platform: every operation of Platform on the Win32 API. Text goes through the wide (W)
// functions, so Hangul paths work whatever the system locale; the registry is read through the
// narrow (A) functions, whose sizes are bytes in the ANSI code page.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fenn {

class Win32Platform : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // Window system (Win32Panel.cpp, Win32Messages.cpp)
  void createPanel(const FormDescription& form, PanelEvents& events) override;
  void destroyPanel() override;
  void showPanel() override;
  void hidePanel() override;
  bool panelVisible() override;
  void setLabelText(const std::wstring& text) override;
  std::wstring buttonCaption(PanelButton button) override;
  void setButtonCaption(PanelButton button, const std::wstring& caption) override;
  void setButtonVisible(PanelButton button, bool visible) override;
  void messageBox(const std::wstring& text, const std::wstring& title) override;
  void yield() override;
  void waitForMessage() override;
  void sleepMilliseconds(uint32_t milliseconds) override;

  // One setup at a time (Win32SetupRun.cpp)
  bool claimSetupRun() override;
  bool activateOtherPanel() override;

  // The desktop user, what it may change, and starting a program (Win32DesktopUser.cpp)
  bool findDesktopUser() override;
  EntryAccess desktopUserAccess(const std::wstring& path, uint32_t rights) override;
  bool startProgram(const std::wstring& path, const std::wstring& workingFolder,
                    StartAs as) override;
  // The security of one entry as the judgement reads it: its descriptor (owner, group, DACL and
  // integrity label), whether it is a link, and whether it could be read at all.
  struct EntrySecurity {
    bool read = false;
    bool link = false;
    std::vector<BYTE> descriptor;
  };
  using SecurityReader = std::function<EntrySecurity(const std::wstring& path)>;
  // Tests judge descriptors built in memory instead of the disk's (Wine keeps none on files).
  void readSecurityWith(SecurityReader reader) { readSecurity_ = std::move(reader); }
  // The desktop user's token once findDesktopUser found it (a primary token), else null.
  HANDLE desktopUserToken() const { return desktopUser_; }

  // File system (Win32Files.cpp)
  ListResult listFirst(const std::wstring& pattern, int attributes) override;
  ListResult listNext() override;
  bool deleteFile(const std::wstring& path) override;
  bool deleteFileAtRestart(const std::wstring& path) override;
  bool deletionPendingAtRestart(const std::wstring& path) override;
  bool cancelDeletionAtRestart(const std::wstring& path) override;
  bool renameFile(const std::wstring& from, const std::wstring& to) override;
  bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) override;
  bool writeNewFile(const std::wstring& path, const std::vector<uint8_t>& bytes,
                    const std::function<bool()>& whileEmpty) override;

  // Held folders (Win32HeldFolder.cpp)
  std::unique_ptr<HeldFolder> holdFolder(const std::wstring& path) override;
  std::unique_ptr<HeldFolder> makePrivateFolder(const std::wstring& parent) override;

  // Resources (Win32Resources.cpp)
  std::optional<std::wstring> loadResourceString(int id) override;
  std::optional<std::vector<uint8_t>> loadResourceData(int id) override;

  // kernel32 and the codec (Win32System.cpp)
  std::wstring systemDirectory() override;
  std::wstring tempPath() override;
  std::wstring createTempFile(const std::wstring& folder, const std::wstring& prefix) override;
  uint32_t logicalDrives() override;
  uint32_t driveType(const std::wstring& root) override;
  ModuleHandle loadLibrary(const std::wstring& fullPath) override;
  void freeLibrary(ModuleHandle module) override;
  std::optional<int32_t> callDecompress(ModuleHandle module, const std::wstring& source,
                                        const std::wstring& destination) override;

  // Known folders (Win32KnownFolders.cpp)
  std::wstring programFilesX86Folder() override;

  // advapi32 (Win32Registry.cpp)
  RegKey openUserKey(const std::wstring& subKey) override;
  RegRead queryValue(RegKey key, const std::wstring& valueName, uint32_t capacity) override;
  void closeKey(RegKey key) override;

  // Text (Win32Text.cpp); toAnsi is the conversion the codec's paths go through.
  std::wstring fromAnsi(const std::string& text) override;
  std::string toAnsi(const std::wstring& text);

  // The panel's windows, for tests and tools that look at the real window.
  HWND panelWindow() const { return panel_; }
  HWND buttonWindow(PanelButton button) const {
    return button == PanelButton::Run ? cmdRun_ : cmdCancel_;
  }
  HWND labelWindow() const { return lbDesc_; }
  // The face the panel's font was created with ("굴림체" or the fixed-pitch stand-in).
  const std::wstring& panelFontFace() const { return fontFace_; }

  // The panel's window class: another setup process finds the panel by it.
  static constexpr wchar_t kPanelClass[] = L"FennSetupPanel";
  // Posted by a second start to the running setup's panel: it brings itself to the front, so the
  // second start never waits on another process's window.
  static constexpr UINT kComeForward = WM_APP + 2;
  static constexpr int kRunButtonId = 100;  // cmdCancel has IDCANCEL, so Esc clicks it
  static constexpr int kLabelId = 101;

 private:
  static LRESULT CALLBACK panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void raiseCloseRequest(int16_t unloadMode);
  // An error a panel event raised in some message loop, carried past the window procedure (it
  // must never unwind through the system's or the codec's frames) and thrown again on the
  // setup's side when the call that pumped the messages returns.
  void rethrowEventError();
  std::exception_ptr eventError_;
  void fitLabelToText();
  HWND createControl(const wchar_t* className, const ControlDescription& control, DWORD style,
                     int id);
  int toPixels(int twips) const;

  void endListing();
  bool listed(const WIN32_FIND_DATAW& entry) const;

  HWND panel_ = nullptr;
  HWND cmdRun_ = nullptr;
  HWND cmdCancel_ = nullptr;
  HWND lbDesc_ = nullptr;
  HFONT font_ = nullptr;
  std::wstring fontFace_;
  int dpi_ = 96;
  PanelEvents* events_ = nullptr;
  bool sessionEndingSeen_ = false;

  HANDLE setupRun_ = INVALID_HANDLE_VALUE;  // the file that marks the machine's one setup run
  HANDLE desktopUser_ = nullptr;            // primary token of the desktop user
  HANDLE desktopUserCheck_ = nullptr;       // the same, as an identification token for AccessCheck
  SecurityReader readSecurity_;
  HANDLE listing_ = INVALID_HANDLE_VALUE;
  int listingAttributes_ = 0;
  bool listingWithoutExtension_ = false;
};

}  // namespace fenn
