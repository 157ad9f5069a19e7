// Every effect the setup has on the operating system goes through this interface: the window
// system (one panel, its label and two buttons, message boxes), the file system, the resources of
// the running executable, a few kernel32/advapi32 functions and the call into the codec library.
// The setup logic never includes <windows.h>; Win32Platform implements this with the real API and
// the tests use an in-memory FakePlatform with Windows semantics.
//
// Arguments that are the same on every call (message-box flags, the show style of the updater, the
// registry root and access, the "CUSTOM" resource type) live inside the implementations. Text is
// std::wstring (UTF-16 on Windows); where the real system works in the narrow ANSI code page
// (registry data and its sizes), the interface says so.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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
  // Cancel: set to -1 (true) to refuse the close. UnloadMode 1 is the program's own request,
  // 0 the close box, 2 Windows ending the session.
  virtual void Form_QueryUnload(int16_t& Cancel, int16_t UnloadMode) = 0;
  // Windows is logging off or shutting down and ends the process as soon as this returns.
  virtual void Form_EndSession() = 0;
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

constexpr uint32_t kDriveFixed = 3;  // GetDriveType's DRIVE_FIXED

constexpr long kErrorSuccess = 0;
constexpr long kErrorMoreData = 234;

using ModuleHandle = uintptr_t;  // 0: no module
using RegKey = uintptr_t;        // 0: no key

// Outcome of one listing call: on a platform error (malformed path, drive not ready, no access)
// `failed` is true; otherwise `name` is the match (no folder part), empty when nothing matches.
struct ListResult {
  bool failed = false;
  std::wstring name;
  // The entry is a junction or symbolic link (a reparse point): its contents stand elsewhere too,
  // and it can lead back to one of its own parents.
  bool link = false;
  uint64_t size = 0;  // a file's length in bytes
};

// Outcome of one registry read, like RegQueryValueExA's: `status` 0 on success and
// kErrorMoreData when the value needs more than the declared capacity (then `size` is what it
// needs); `data` holds what the call wrote into a buffer of exactly that capacity.
struct RegRead {
  long status = 0;
  uint32_t size = 0;  // narrow bytes
  std::string data;
};

// How a move into a held folder ended.
enum class Moved {
  Done,         // the file is in the folder under its new name
  OtherVolume,  // the folder lies on another volume: a rename cannot get there (nothing changed)
  Failed,       // any other failure (the name is taken, no access, no such file; nothing changed)
};

// A folder held open from the moment it is held until this object ends. It was opened as the
// folder itself, never through a link (a junction or symbolic link is not held), and it is not
// shared for deletion, so nobody can rename it, delete it or put a link in its place meanwhile.
// Every operation names a file inside it relative to the held folder, never by a path that a
// change of one of its parents could redirect.
class HeldFolder {
 public:
  virtual ~HeldFolder() = default;
  // The path it was held by; for a private folder, its path with every link on the way resolved.
  virtual const std::wstring& path() const = 0;
  // A regular file of that name is in it: no folder, no link, neither hidden nor system.
  virtual bool hasFile(const std::wstring& name) = 0;
  // Moves `file` (a full path) into it as `name`, never onto an existing file. The moved file
  // takes the permissions the folder gives a new file, not those it brought along.
  virtual Moved moveInto(const std::wstring& file, const std::wstring& name) = 0;
  // Copies `file` and its three times into a new file `partialName`, flushes it to the disk and
  // renames it to `name`, all through the handle that created it; on any failure that handle
  // deletes it again. Never replaces or deletes a file it did not create.
  virtual bool copyInto(const std::wstring& file, const std::wstring& partialName,
                        const std::wstring& name) = 0;
  // Deletes `name` only when it is a regular file (no folder, no link, neither hidden nor system)
  // with no second name (hard link). False when nothing was deleted.
  virtual bool deleteRegularFile(const std::wstring& name) = 0;
};

// How Run starts a program.
enum class StartAs {
  Setup,        // with the setup's own (elevated) token
  DesktopUser,  // with the desktop user's token (findDesktopUser)
};

// Access rights to files and folders, numbered as Windows numbers them.
constexpr uint32_t kFileWriteData = 0x0002;  // a folder: kFileAddFile
constexpr uint32_t kFileAddFile = 0x0002;
constexpr uint32_t kFileAppendData = 0x0004;  // a folder: kFileAddSubfolder
constexpr uint32_t kFileAddSubfolder = 0x0004;
constexpr uint32_t kFileDeleteChild = 0x0040;
constexpr uint32_t kDelete = 0x00010000;
constexpr uint32_t kWriteDac = 0x00040000;
constexpr uint32_t kWriteOwner = 0x00080000;

// What the desktop user may do to one file-system entry.
struct EntryAccess {
  // Its security could be read (without following a link); when false, nothing below is known.
  bool known = false;
  bool link = false;    // it is a junction or symbolic link (a reparse point)
  uint32_t rights = 0;  // those of the rights asked about that the desktop user holds
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
  virtual void setButtonVisible(PanelButton button, bool visible) = 0;
  // Modal box with the exclamation icon and a single OK button; the answer is never used.
  virtual void messageBox(const std::wstring& text, const std::wstring& title) = 0;
  // Processes every pending window message, then returns.
  virtual void yield() = 0;
  // Sleeps until a window message is waiting (returns at once when one already is), so the
  // program waits for the person without spinning.
  virtual void waitForMessage() = 0;
  // Starts the program at `path` in a normal, activated window with no arguments, in
  // `workingFolder`, not waiting for it: with the setup's own rights, or as the desktop user (with
  // that user's token, never the setup's). False when it could not be started.
  virtual bool startProgram(const std::wstring& path, const std::wstring& workingFolder,
                            StartAs as) = 0;
  // Claims the machine's one setup run for the rest of this process. False when another setup
  // process holds it. Nothing another user can make (an object or file of any name) takes it away.
  virtual bool claimSetupRun() = 0;
  // Brings the visible panel of another elevated setup process to the front, without waiting on
  // that process. False when there is none (not yet, or no longer).
  virtual bool activateOtherPanel() = 0;

  // ---- Who else could change a file ---------------------------------------------------------
  // The desktop user is the person whose shell runs in this session: with over-the-shoulder
  // elevation the standard user, with same-user elevation that user's filtered token. False when
  // none can be found.
  virtual bool findDesktopUser() = 0;
  // Which of `rights` the desktop user holds on the file or folder at `path`, judged on its
  // security read through a handle that does not follow links.
  virtual EntryAccess desktopUserAccess(const std::wstring& path, uint32_t rights) = 0;
  // Waits about `milliseconds` without processing window messages.
  virtual void sleepMilliseconds(uint32_t milliseconds) = 0;

  // ---- File system -------------------------------------------------------------------------
  // Starts a new listing (ending any previous one). A pattern ending in "\" lists that folder's
  // entries; "*." matches names without an extension.
  virtual ListResult listFirst(const std::wstring& pattern, int attributes) = 0;
  // The next name of the listing started by the last listFirst; empty at its end.
  virtual ListResult listNext() = 0;
  virtual bool deleteFile(const std::wstring& path) = 0;
  // Asks the system to delete the file when it next starts. False when that cannot be arranged.
  virtual bool deleteFileAtRestart(const std::wstring& path) = 0;
  // Whether a deletion of this file at the system's next start is pending (asked for by
  // deleteFileAtRestart, in this process or an earlier one); paths compare without letter case.
  virtual bool deletionPendingAtRestart(const std::wstring& path) = 0;
  // Takes back one deletion at the next start asked for by deleteFileAtRestart: the last pending
  // deletion of this file comes off the system's list, every other entry stays as it was. False
  // when none was pending or the list could not be changed (then it stays as it was).
  virtual bool cancelDeletionAtRestart(const std::wstring& path) = 0;
  // Renames a file, also into another folder of the same volume. Fails when the target exists,
  // the source is absent or the two lie on different volumes: a rename never copies, so the file
  // is under one of its two names, complete, at every moment.
  virtual bool renameFile(const std::wstring& from, const std::wstring& to) = 0;
  // Creates (or empties) the file and writes exactly `bytes` from offset 0.
  virtual bool writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) = 0;
  // Creates the file where no file of that name was (a hidden or system one included) and writes
  // exactly `bytes`; no other open of the file succeeds until it is complete. `whileEmpty` runs
  // once the empty file is made and still held; when it returns false nothing is written. On any
  // failure after the file was made, the file is deleted again.
  virtual bool writeNewFile(const std::wstring& path, const std::vector<uint8_t>& bytes,
                            const std::function<bool()>& whileEmpty) = 0;

  // ---- Held folders ----------------------------------------------------------------------------
  // Holds the folder at `path`; null when no folder is there, it is a link, or it cannot be held.
  virtual std::unique_ptr<HeldFolder> holdFolder(const std::wstring& path) = 0;
  // Makes a new folder in `parent` that only SYSTEM and Administrators can open or change (the
  // files made in it inherit that) and holds it. While it exists it is the process's temp folder
  // (what tempPath and the codec's own temporary copies use). The folder is removed when the
  // object ends, if it is empty by then. Null when none can be made.
  virtual std::unique_ptr<HeldFolder> makePrivateFolder(const std::wstring& parent) = 0;

  // ---- Resources of the running executable (Korean language) -------------------------------
  virtual std::optional<std::wstring> loadResourceString(int id) = 0;
  // The bytes of the "CUSTOM" resource `id`.
  virtual std::optional<std::vector<uint8_t>> loadResourceData(int id) = 0;

  // ---- kernel32 ------------------------------------------------------------------------------
  // Each path is empty when the system cannot give it.
  virtual std::wstring systemDirectory() = 0;
  virtual std::wstring tempPath() = 0;  // ends in "\"
  // Creates a new empty file "<folder><prefix(3)><hex>.TMP" and returns its full path.
  virtual std::wstring createTempFile(const std::wstring& folder, const std::wstring& prefix) = 0;
  virtual uint32_t logicalDrives() = 0;  // bit 0 = A:
  virtual uint32_t driveType(const std::wstring& root) = 0;
  virtual ModuleHandle loadLibrary(const std::wstring& fullPath) = 0;
  virtual void freeLibrary(ModuleHandle module) = 0;

  // ---- Known folders --------------------------------------------------------------------------
  // This Windows' folder for 32-bit programs (FOLDERID_ProgramFilesX86), without a trailing "\":
  // "C:\Program Files (x86)" on 64-bit Windows, the one program-files folder on 32-bit Windows.
  // Only administrators can move it. Empty when the system cannot give it.
  virtual std::wstring programFilesX86Folder() = 0;

  // ---- advapi32 (read only, HKEY_CURRENT_USER) -----------------------------------------------
  // 0 when the key cannot be opened for reading.
  virtual RegKey openUserKey(const std::wstring& subKey) = 0;
  // Like RegQueryValueExA with a buffer of `capacity` narrow bytes.
  virtual RegRead queryValue(RegKey key, const std::wstring& valueName, uint32_t capacity) = 0;
  virtual void closeKey(RegKey key) = 0;
  // Narrow text in the system's ANSI code page (949 on a Korean system) to wide text.
  virtual std::wstring fromAnsi(const std::string& text) = 0;

  // ---- The codec -----------------------------------------------------------------------------
  // Calls DecompVXFormat2NomFile of `module` (bound on that very module, never by a search for the
  // library's name) with the paths in the ANSI code page. Its status (0 = success), or nothing
  // when the function cannot be reached.
  virtual std::optional<int32_t> callDecompress(ModuleHandle module, const std::wstring& source,
                                                const std::wstring& destination) = 0;
};

}  // namespace fenn
