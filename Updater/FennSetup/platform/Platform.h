// Every effect the setup has on the operating system goes through this interface: the window
// system (one panel, its label and two buttons, message boxes), the file system, the resources of
// the running executable, a few kernel32/advapi32 functions and the call into the codec library.
// The setup logic never includes <windows.h>; Win32Platform implements this with the real API and
// the tests use an in-memory FakePlatform with Windows semantics.
//
// Text is std::wstring (UTF-16 on Windows). Where the real system works in the narrow ANSI code
// page (registry data sizes, paths handed to the codec), the interface says so.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fenn {

// Events the panel raises; frmPanel implements them. They run re-entrantly whenever the setup
// yields to the window system.
class PanelEvents {
 public:
  virtual ~PanelEvents() = default;
  virtual void cmdRun_Click() = 0;
  virtual void cmdCancel_Click() = 0;
  // Cancel: set to -1 (true) to refuse the close. UnloadMode 1 is the program's own request.
  virtual void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) = 0;
};

enum class PanelButton { Run, Cancel };

// The panel's form description: what the window looks like when it is created. Positions and
// sizes are in twips (1/1440 inch) from the top left of the client area; the platform converts
// them for the current DPI (15 twips per pixel at 96 DPI).
struct ControlDescription {
  std::wstring caption;
  int left, top, width, height;  // twips
  int tabIndex;
  bool visible;
};

struct FormDescription {
  std::wstring caption;
  int clientWidth, clientHeight;  // twips
  std::wstring fontName;          // preferred face; a fixed-pitch Hangul face stands in for it
  int fontPoints;
  int fontWeight;
  int fontCharset;
  int iconGroupId;
  ControlDescription cmdRun;     // push button
  ControlDescription cmdCancel;  // push button; the panel's cancel button (Esc)
  ControlDescription lbDesc;     // label that sizes itself to its caption
};

// Attribute sets of the directory listing.
constexpr int kListNormalFiles = 0;       // files without hidden, system or folder attribute
constexpr int kListFilesAndFolders = 16;  // the above plus folders

constexpr uint32_t kDriveFixed = 3;         // GetDriveType's DRIVE_FIXED
constexpr int kMessageBoxExclamation = 48;  // MB_ICONEXCLAMATION | MB_OK
constexpr int kShowNormal = 1;              // SW_SHOWNORMAL

// Registry: the only key root the setup reads from.
constexpr uintptr_t kHkeyCurrentUser = 0x80000001u;
constexpr uint32_t kKeyQueryValue = 1;
constexpr long kErrorSuccess = 0;
constexpr long kErrorMoreData = 234;

using ModuleHandle = uintptr_t;  // 0: no module
using RegKey = uintptr_t;

// Outcome of one listing call: on a platform error (malformed path, drive not ready, no access)
// `failed` is true; otherwise `name` is the match (no folder part), empty when nothing matches.
struct ListResult {
  bool failed = false;
  std::wstring name;
  // The entry is a junction or symbolic link (a reparse point): its contents stand elsewhere too,
  // and it can lead back to one of its own parents.
  bool link = false;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- Window system -----------------------------------------------------------------------
  // Creates the panel window hidden, from its form description, routing its events to `events`.
  virtual void createPanel(const FormDescription& form, PanelEvents& events) = 0;
  // Destroys the panel window (after Form_QueryUnload allowed it).
  virtual void destroyPanel() = 0;
  virtual void showPanel() = 0;  // not modal, no owner; returns at once
  virtual void hidePanel() = 0;
  virtual bool panelVisible() = 0;
  virtual void setLabelText(const std::wstring& text) = 0;  // lbDesc, auto-sized
  virtual std::wstring buttonCaption(PanelButton button) = 0;
  virtual void setButtonCaption(PanelButton button, const std::wstring& caption) = 0;
  virtual std::wstring buttonTag(PanelButton button) = 0;
  virtual void setButtonTag(PanelButton button, const std::wstring& tag) = 0;
  virtual void setButtonVisible(PanelButton button, bool visible) = 0;
  // Modal box; the answer is never used.
  virtual void messageBox(const std::wstring& text, int flags, const std::wstring& title) = 0;
  // Processes every pending window message, then returns.
  virtual void yield() = 0;
  // Sleeps until a window message is waiting (returns at once when one already is). Lets the
  // program wait for the person without spinning; the default returns at once.
  virtual void waitForMessage() {}
  // Starts the program at `path` with no arguments, not waiting for it. False when it could not
  // be started.
  virtual bool startProgram(const std::wstring& path, int showStyle) = 0;
  // Waits about `milliseconds` without processing window messages. Used only between the
  // attempts to delete the staged codec library; the default does not wait.
  virtual void sleepMilliseconds(uint32_t milliseconds) { (void)milliseconds; }

  // ---- File system -------------------------------------------------------------------------
  // Starts a new listing (ending any previous one). A pattern ending in "\" lists that folder's
  // entries; "*." matches names without an extension.
  virtual ListResult listFirst(const std::wstring& pattern, int attributes) = 0;
  // The next name of the listing started by the last listFirst; empty at its end.
  virtual ListResult listNext() = 0;
  virtual bool deleteFile(const std::wstring& path) = 0;
  // Asks the system to delete the file when it next starts (for a file another process holds
  // open now). False when that cannot be arranged; the default cannot.
  virtual bool deleteFileAtRestart(const std::wstring& path) {
    (void)path;
    return false;
  }
  // Renames or moves a file, also into another folder or onto another drive. Fails when the
  // target exists or the source is absent.
  virtual bool renameFile(const std::wstring& from, const std::wstring& to) = 0;
  // Creates (or empties) the file and writes exactly `bytes` from offset 0.
  virtual bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) = 0;

  // ---- Resources of the running executable -------------------------------------------------
  virtual bool loadResourceString(int id, std::wstring& text) = 0;
  virtual bool loadResourceData(int id, const std::wstring& type, std::vector<uint8_t>& bytes) = 0;

  // ---- kernel32 ------------------------------------------------------------------------------
  // Each returns the number of characters of the result, 0 on failure, like the A functions.
  virtual uint32_t getSystemDirectory(std::wstring& directory) = 0;
  virtual uint32_t getTempPath(std::wstring& folder) = 0;
  // Creates a new empty file "<folder><prefix(3)><hex>.TMP"; nonzero on success.
  virtual uint32_t getTempFileName(const std::wstring& folder, const std::wstring& prefix,
                                   std::wstring& path) = 0;
  virtual uint32_t getLogicalDrives() = 0;
  virtual uint32_t getDriveType(const std::wstring& root) = 0;
  virtual ModuleHandle loadLibrary(const std::wstring& fullPath) = 0;
  virtual void freeLibrary(ModuleHandle module) = 0;

  // ---- advapi32 (read only) ------------------------------------------------------------------
  virtual long regOpenKeyEx(uintptr_t root, const std::wstring& subKey, uint32_t options,
                            uint32_t access, RegKey& key) = 0;
  // Like RegQueryValueExA: `data` is the narrow (ANSI code page) buffer whose first `size` bytes
  // may be written; `size` is in bytes, in and out.
  virtual long regQueryValueEx(RegKey key, const std::wstring& valueName, uint32_t& type,
                               std::string& data, uint32_t& size) = 0;
  virtual long regCloseKey(RegKey key) = 0;

  // ---- Text ----------------------------------------------------------------------------------
  // Conversions between wide text and the system's narrow ANSI code page (949 on a Korean system).
  virtual std::string toAnsi(const std::wstring& text) = 0;
  virtual std::wstring fromAnsi(const std::string& text) = 0;

  // ---- The codec -----------------------------------------------------------------------------
  // Calls DecompVXFormat2NomFile of `module` (bound with GetProcAddress on that very module, never
  // by a search for the library's name) with narrow paths. False when the function cannot be
  // reached; otherwise `status` holds its result (0 = success).
  virtual bool callDecompress(ModuleHandle module, const std::string& source,
                              const std::string& destination, int32_t& status) = 0;
};

}  // namespace fenn
