// Held folders on the Win32 API. A folder is held by a directory handle opened on the folder
// itself (FILE_FLAG_OPEN_REPARSE_POINT: a junction or symbolic link is opened as what it is, and
// refused), shared for reading and writing but not for deletion, so that nobody can rename or
// delete it while it is held, nor any of its parents (a folder with an open handle below it cannot
// be renamed). Files inside it are opened, made and renamed by name relative to that handle
// (NtCreateFile and NtSetInformationFile with a root directory), so no path is parsed again
// after the folder was held. The two ntdll functions are bound at run time: the executable imports
// only the documented exports of the system's Win32 libraries, and every Windows since NT and
// Wine 8.0 have both.
#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kStatusNotSameDevice = static_cast<NTSTATUS>(0xC00000D4);
constexpr NTSTATUS kStatusNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr FILE_INFORMATION_CLASS kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);

// Only SYSTEM and Administrators, inherited by every file and folder made inside; protected, so
// nothing of the parent's permissions (the user's own temp folder) comes in.
constexpr wchar_t kPrivateFolderDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr wchar_t kPrivateFolderPrefix[] = L"~FennSetup-";

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                FILE_INFORMATION_CLASS);

struct NativeCalls {
  NtCreateFileFn createFile = nullptr;
  NtSetInformationFileFn setInformation = nullptr;
};

const NativeCalls& Native() {
  static const NativeCalls calls = [] {
    NativeCalls bound;
    if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
      bound.createFile = reinterpret_cast<NtCreateFileFn>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
      bound.setInformation = reinterpret_cast<NtSetInformationFileFn>(
          reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
    }
    return bound;
  }();
  return calls;
}

// A name inside the folder: no folder part, no stream, no device, not "." or "..".
bool PlainName(const std::wstring& name) {
  return !name.empty() && name != L"." && name != L".." && name.size() < MAX_PATH &&
         name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos &&
         name.find(L'\0') == std::wstring::npos;
}

// Opens or creates `name` in the folder `root`, never through a link at that name.
NTSTATUS OpenInFolder(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, PSECURITY_DESCRIPTOR security,
                      HANDLE& opened) {
  opened = INVALID_HANDLE_VALUE;
  if (!PlainName(name) || Native().createFile == nullptr) return kStatusInvalidParameter;
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(name.c_str());
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, security);
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  const NTSTATUS status = Native().createFile(
      &handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
      disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (NT_SUCCESS(status)) opened = handle;
  return status;
}

// Gives the open file `file` the name `name` in the folder `root`, never replacing a file.
NTSTATUS RenameInto(HANDLE file, HANDLE root, const std::wstring& name) {
  if (!PlainName(name) || Native().setInformation == nullptr) return kStatusInvalidParameter;
  const size_t nameBytes = name.size() * sizeof(wchar_t);
  std::vector<uint8_t> buffer(offsetof(FILE_RENAME_INFORMATION, FileName) + nameBytes +
                              sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  rename->ReplaceIfExists = FALSE;
  rename->RootDirectory = root;
  rename->FileNameLength = static_cast<ULONG>(nameBytes);
  std::memcpy(rename->FileName, name.data(), nameBytes);
  IO_STATUS_BLOCK io = {};
  return Native().setInformation(file, &io, rename, static_cast<ULONG>(buffer.size()),
                                 kFileRenameInformation);
}

// Copies the bytes and the three times of `source` into the empty `target` and flushes them to the
// disk: a copy under its final name is a whole one.
bool CopyContentAndTimes(HANDLE source, HANDLE target) {
  // Taken before the first read, which moves the last-access time.
  FILETIME created, accessed, written;
  bool complete = GetFileTime(source, &created, &accessed, &written) != 0;
  std::vector<uint8_t> buffer(1u << 20);
  while (complete) {
    DWORD read = 0;
    if (!ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
      complete = false;
    }
    if (!complete || read == 0) break;
    DWORD copied = 0;
    complete = WriteFile(target, buffer.data(), read, &copied, nullptr) && copied == read;
  }
  return complete && SetFileTime(target, &created, &accessed, &written) && FlushFileBuffers(target);
}

bool DeleteThroughHandle(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition = {TRUE};
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

// A file as the setup makes one: no folder, no link, neither hidden nor system, one name only.
bool RegularFile(HANDLE handle, bool singleName) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  constexpr DWORD kNotRegular = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  return (info.dwFileAttributes & kNotRegular) == 0 && (!singleName || info.nNumberOfLinks == 1);
}

// Some systems (Wine) open what a symbolic link to a folder points to even when asked for the link
// itself, and say nothing of it through the handle; the entry in its parent's listing still does.
bool ListedAsLink(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE listing =
      FindFirstFileExW(path.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (listing == INVALID_HANDLE_VALUE) return false;  // a drive's root has no entry
  FindClose(listing);
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The folder itself, never what a link there points to; INVALID_HANDLE_VALUE when it is none.
HANDLE OpenFolderItself(const std::wstring& path) {
  if (path.empty() || path.find_first_of(L"*?") != std::wstring::npos) {
    return INVALID_HANDLE_VALUE;
  }
  std::wstring folder = path;
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // "D:" is the root of D:
  HANDLE handle = CreateFileW(
      folder.c_str(),
      FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || ListedAsLink(folder)) {
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

// The path of the held folder as the system resolves it now, every link on the way resolved: the
// codec opens its files by path, and no part of this one can be renamed or become a link while a
// folder below it is held (a folder that is not empty cannot become one).
std::wstring ResolvedPath(HANDLE folder) {
  std::vector<wchar_t> buffer(MAX_PATH + 8);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length =
        GetFinalPathNameByHandleW(folder, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return std::wstring();
    if (length < buffer.size()) {
      std::wstring path(buffer.data(), length);
      // "\\?\C:\..." becomes "C:\..."; a share ("\\?\UNC\...") stays as it is.
      if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() > 6 && path[5] == L':') path.erase(0, 4);
      return path;
    }
    buffer.resize(length + 1);
  }
  return std::wstring();
}

// While a private folder exists it is the process's temp folder (TMP, which GetTempPath reads
// first): the codec makes its own copy of a container in the temp folder, and that copy, which
// decides what is decoded, must be no more open to others than the container itself.
class TempVariable {
 public:
  explicit TempVariable(const std::wstring& folder) {
    const DWORD length = GetEnvironmentVariableW(kName, nullptr, 0);
    if (length > 0) {
      std::vector<wchar_t> value(length);
      if (GetEnvironmentVariableW(kName, value.data(), length) == length - 1) {
        saved_.assign(value.data(), length - 1);
        hadValue_ = true;
      }
    }
    SetEnvironmentVariableW(kName, folder.c_str());
  }
  ~TempVariable() { SetEnvironmentVariableW(kName, hadValue_ ? saved_.c_str() : nullptr); }
  TempVariable(const TempVariable&) = delete;
  TempVariable& operator=(const TempVariable&) = delete;

 private:
  static constexpr wchar_t kName[] = L"TMP";
  std::wstring saved_;
  bool hadValue_ = false;
};

class Win32HeldFolder : public HeldFolder {
 public:
  Win32HeldFolder(HANDLE folder, std::wstring path, bool isPrivate)
      : folder_(folder),
        path_(std::move(path)),
        remove_(isPrivate),
        temp_(isPrivate ? std::make_unique<TempVariable>(path_) : nullptr) {}
  ~Win32HeldFolder() override {
    temp_.reset();
    // A private folder goes when it is empty; the deletion fails (and is ignored) otherwise.
    if (remove_) DeleteThroughHandle(folder_);
    CloseHandle(folder_);
  }
  Win32HeldFolder(const Win32HeldFolder&) = delete;
  Win32HeldFolder& operator=(const Win32HeldFolder&) = delete;

  const std::wstring& path() const override { return path_; }

  bool hasFile(const std::wstring& name) override {
    HANDLE file;
    if (!NT_SUCCESS(OpenInFolder(folder_, name, FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                 0, nullptr, file))) {
      return false;
    }
    const bool regular = RegularFile(file, false);
    CloseHandle(file);
    return regular;
  }

  Moved moveInto(const std::wstring& from, const std::wstring& name) override {
    HANDLE file =
        CreateFileW(from.c_str(), DELETE | READ_CONTROL | WRITE_DAC | SYNCHRONIZE, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Moved::Failed;
    if (!RegularFile(file, true)) {
      CloseHandle(file);
      return Moved::Failed;
    }
    const NTSTATUS status = RenameInto(file, folder_, name);
    if (NT_SUCCESS(status)) ResetToInheritedPermissions(file);
    CloseHandle(file);
    if (status == kStatusNotSameDevice) return Moved::OtherVolume;
    return NT_SUCCESS(status) ? Moved::Done : Moved::Failed;
  }

  bool copyInto(const std::wstring& from, const std::wstring& partialName,
                const std::wstring& name) override {
    HANDLE source = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (source == INVALID_HANDLE_VALUE) return false;
    // FILE_CREATE fails on any entry of that name (a hidden file, a folder, a link), which is then
    // left as it is. Made here, the copy has the permissions the folder gives a new file; sharing
    // nothing, nobody else opens it until it is closed.
    HANDLE copy;
    if (!NT_SUCCESS(OpenInFolder(folder_, partialName, GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                                 FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, nullptr, copy))) {
      CloseHandle(source);
      return false;
    }
    const bool placed =
        CopyContentAndTimes(source, copy) && NT_SUCCESS(RenameInto(copy, folder_, name));
    CloseHandle(source);
    // The handle that made the copy deletes it: never a file someone else put under that name.
    if (!placed) DeleteThroughHandle(copy);
    CloseHandle(copy);
    return placed;
  }

  bool deleteRegularFile(const std::wstring& name) override {
    HANDLE file;
    if (!NT_SUCCESS(OpenInFolder(folder_, name, DELETE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                 FILE_NON_DIRECTORY_FILE, nullptr, file))) {
      return false;
    }
    const bool deleted = RegularFile(file, true) && DeleteThroughHandle(file);
    CloseHandle(file);
    return deleted;
  }

 private:
  // A moved file keeps the permissions it had; without explicit entries and no longer
  // protected, it takes those its new folder passes on to its files.
  static void ResetToInheritedPermissions(HANDLE file) {
    ACL empty;
    if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return;
    SetSecurityInfo(file, SE_FILE_OBJECT,
                    DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                    nullptr, &empty, nullptr);
  }

  HANDLE folder_;
  std::wstring path_;
  bool remove_;
  std::unique_ptr<TempVariable> temp_;
};

}  // namespace

std::unique_ptr<HeldFolder> Win32Platform::holdFolder(const std::wstring& path) {
  HANDLE folder = OpenFolderItself(path);
  if (folder == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32HeldFolder>(folder, path, false);
}

std::unique_ptr<HeldFolder> Win32Platform::makePrivateFolder(const std::wstring& parent) {
  HANDLE container = OpenFolderItself(parent);
  if (container == INVALID_HANDLE_VALUE) return nullptr;
  PSECURITY_DESCRIPTOR security = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPrivateFolderDacl, SDDL_REVISION_1,
                                                            &security, nullptr)) {
    CloseHandle(container);
    return nullptr;
  }
  // Made and opened in one call, with its permissions: there is no moment at which another folder
  // could stand under its name.
  HANDLE folder = INVALID_HANDLE_VALUE;
  NTSTATUS status = kStatusNameCollision;
  for (DWORD attempt = 0; attempt < 16 && status == kStatusNameCollision; ++attempt) {
    wchar_t unique[16];
    wsprintfW(unique, L"%X", (GetTickCount() ^ (GetCurrentProcessId() << 12)) + attempt * 0x9e37u);
    status = OpenInFolder(
        container, kPrivateFolderPrefix + std::wstring(unique),
        DELETE | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL,
        FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE, FILE_DIRECTORY_FILE, security, folder);
  }
  LocalFree(security);
  CloseHandle(container);
  if (!NT_SUCCESS(status)) return nullptr;
  const std::wstring path = ResolvedPath(folder);
  if (path.empty()) {
    DeleteThroughHandle(folder);
    CloseHandle(folder);
    return nullptr;
  }
  return std::make_unique<Win32HeldFolder>(folder, path, true);
}

}  // namespace fenn
