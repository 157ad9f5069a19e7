// The real platform: every operation of Platform on the Win32 API. Text goes through the wide (W)
// functions, so Hangul paths work whatever the system locale; the registry is read through the
// narrow (A) functions, whose sizes are bytes in the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

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
  std::wstring buttonTag(PanelButton button) override;
  void setButtonTag(PanelButton button, const std::wstring& tag) override;
  void setButtonVisible(PanelButton button, bool visible) override;
  void messageBox(const std::wstring& text, int flags, const std::wstring& title) override;
  void yield() override;
  void waitForMessage() override;
  bool startProgram(const std::wstring& path, int showStyle) override;
  void sleepMilliseconds(uint32_t milliseconds) override;

  // File system (Win32Files.cpp)
  ListResult listFirst(const std::wstring& pattern, int attributes) override;
  ListResult listNext() override;
  bool deleteFile(const std::wstring& path) override;
  bool deleteFileAtRestart(const std::wstring& path) override;
  bool renameFile(const std::wstring& from, const std::wstring& to) override;
  bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) override;

  // Resources (Win32Resources.cpp)
  bool loadResourceString(int id, std::wstring& text) override;
  bool loadResourceData(int id, const std::wstring& type, std::vector<uint8_t>& bytes) override;

  // kernel32 and the codec (Win32System.cpp)
  uint32_t getSystemDirectory(std::wstring& directory) override;
  uint32_t getTempPath(std::wstring& folder) override;
  uint32_t getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                           std::wstring& path) override;
  uint32_t getLogicalDrives() override;
  uint32_t getDriveType(const std::wstring& root) override;
  ModuleHandle loadLibrary(const std::wstring& fullPath) override;
  void freeLibrary(ModuleHandle module) override;
  bool callDecompress(ModuleHandle module, const std::string& source,
                      const std::string& destination, int32_t& status) override;

  // advapi32 (Win32Registry.cpp)
  long regOpenKeyEx(uintptr_t root, const std::wstring& subKey, uint32_t options, uint32_t access,
                    RegKey& key) override;
  long regQueryValueEx(RegKey key, const std::wstring& valueName, uint32_t& type, std::string& data,
                       uint32_t& size) override;
  long regCloseKey(RegKey key) override;

  // Text (Win32Text.cpp)
  std::string toAnsi(const std::wstring& text) override;
  std::wstring fromAnsi(const std::string& text) override;

  // The panel's windows, for tests and tools that look at the real window.
  HWND panelWindow() const { return panel_; }
  HWND buttonWindow(PanelButton button) const {
    return button == PanelButton::Run ? cmdRun_ : cmdCancel_;
  }
  HWND labelWindow() const { return lbDesc_; }
  // The face the panel's font was created with ("굴림체" or the fixed-pitch stand-in).
  const std::wstring& panelFontFace() const { return fontFace_; }

  static constexpr int kRunButtonId = 100;  // cmdCancel has IDCANCEL, so Esc clicks it
  static constexpr int kLabelId = 101;

 private:
  static LRESULT CALLBACK panelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void raiseCloseRequest(int16_t unloadMode);
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
  std::wstring runTag_;
  std::wstring cancelTag_;
  bool sessionEndingSeen_ = false;

  HANDLE listing_ = INVALID_HANDLE_VALUE;
  int listingAttributes_ = 0;
  bool listingWithoutExtension_ = false;
};

}  // namespace fenn
