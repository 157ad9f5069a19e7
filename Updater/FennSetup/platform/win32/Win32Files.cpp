// The directory listing and the file operations. The listing keeps the semantics of a narrow
// directory listing with an attribute set: set 0 yields files without the hidden, system and
// folder attributes, set 16 adds folders (read-only and archive never exclude an entry); one
// listing is open at a time; "nothing matches" and "no such folder" give the empty name, while
// other errors (no access, bad name, drive not ready, path too long) are failures.
#include <algorithm>
#include <vector>

#include "platform/PendingRenames.h"
#include "platform/win32/Win32Platform.h"

namespace fenn {
namespace {

constexpr DWORD kAlwaysExcluded = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool writeAll(HANDLE file, const std::vector<uint8_t>& bytes) {
  size_t offset = 0;
  while (offset < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + offset, chunk, &written, nullptr) || written != chunk) {
      return false;
    }
    offset += written;
  }
  return true;
}

bool matchesAttributeSet(DWORD attributes, int set) {
  if (attributes & kAlwaysExcluded) return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return (set & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return true;
}

// A name pattern ending in "." (such as "*.") asks for names without an extension. Not every
// implementation of the API filters that way, so the listing filters itself; "." and ".." stay.
bool asksForNoExtension(const std::wstring& query) {
  size_t nameStart = query.find_last_of(L"\\:") + 1;
  return query.size() > nameStart && query.back() == L'.' &&
         query.find_first_of(L"*?", nameStart) != std::wstring::npos;
}

bool hasExtension(const std::wstring& name) {
  return name != L"." && name != L".." && name.find(L'.') != std::wstring::npos;
}

// Whether a failed listing means "no such entry" rather than a broken listing. Besides the plain
// not-found errors, a folder part that names a file (a descent into an extensionless file) is
// reported differently by different systems; it too means there is nothing to list.
bool meansNothingThere(DWORD error, const std::wstring& query) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
      error == ERROR_NO_MORE_FILES || error == ERROR_DIRECTORY) {
    return true;
  }
  size_t slash = query.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash == 0) return false;
  DWORD folder = GetFileAttributesW(query.substr(0, slash).c_str());
  return folder != INVALID_FILE_ATTRIBUTES && !(folder & FILE_ATTRIBUTE_DIRECTORY);
}

// A listed entry; junctions and symbolic links are reparse points.
ListResult found(const WIN32_FIND_DATAW& entry) {
  ListResult result;
  result.name = entry.cFileName;
  result.link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  result.size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  return result;
}

// The list of files the system renames or deletes at its next start.
const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

// The path of a file as the system sees it at its next start. A 32-bit process on 64-bit Windows
// sees the 32-bit system folder under the name of the 64-bit one, but the deletions at the next
// start are carried out without that redirection: they must name the real folder.
std::wstring pathSeenAtRestart(const std::wstring& path) {
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return path;
  wchar_t system[MAX_PATH + 1] = {};
  wchar_t redirected[MAX_PATH + 1] = {};
  const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH + 1);
  const UINT redirectedLength = GetSystemWow64DirectoryW(redirected, MAX_PATH + 1);
  if (systemLength == 0 || systemLength > MAX_PATH || redirectedLength == 0 ||
      redirectedLength > MAX_PATH || path.size() <= systemLength || path[systemLength] != L'\\' ||
      CompareStringOrdinal(path.c_str(), static_cast<int>(systemLength), system,
                           static_cast<int>(systemLength), TRUE) != CSTR_EQUAL) {
    return path;
  }
  return std::wstring(redirected, redirectedLength) + path.substr(systemLength);
}

// A change of the pending list that keeps finding the list changed by another program gives up
// after this many tries; the deletion then stays pending, which is harmless once the file is gone.
constexpr int kListEditAttempts = 8;

// The pending list as stored: its bytes, exactly as many as the value holds.
struct PendingList {
  std::vector<uint8_t> bytes;
  std::vector<PendingRename> pairs;
};

// False when there is no such value or it is no list of texts (then nothing in it counts).
bool readPendingList(HKEY key, PendingList& list) {
  DWORD type = 0;
  DWORD size = 0;
  LONG status = RegQueryValueExW(key, kPendingRenames, nullptr, &type, nullptr, &size);
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    list.bytes.assign(size, 0);
    status = RegQueryValueExW(key, kPendingRenames, nullptr, &type,
                              list.bytes.empty() ? nullptr : list.bytes.data(), &size);
    if (status == ERROR_SUCCESS) break;
  }
  if (status != ERROR_SUCCESS || type != REG_MULTI_SZ) return false;
  list.bytes.resize(size);
  list.pairs = ReadPendingRenames(list.bytes);
  return true;
}

// The last pair that deletes `wanted` (compared without letter case), or none.
const PendingRename* lastDeletionOf(const PendingList& list, const std::wstring& wanted) {
  for (auto pair = list.pairs.rbegin(); pair != list.pairs.rend(); ++pair) {
    if (pair->deletes &&
        CompareStringOrdinal(pair->file.c_str(), -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL) {
      return &*pair;
    }
  }
  return nullptr;
}

}  // namespace

bool Win32Platform::listed(const WIN32_FIND_DATAW& entry) const {
  return matchesAttributeSet(entry.dwFileAttributes, listingAttributes_) &&
         !(listingWithoutExtension_ && hasExtension(entry.cFileName));
}

void Win32Platform::endListing() {
  if (listing_ != INVALID_HANDLE_VALUE) FindClose(listing_);
  listing_ = INVALID_HANDLE_VALUE;
}

ListResult Win32Platform::listFirst(const std::wstring& pattern, int attributes) {
  endListing();
  ListResult result;
  std::wstring query = pattern;
  if (!query.empty() && query.back() == L'\\') query += L'*';
  // The narrow listing goes through a buffer of MAX_PATH characters; a longer path is an error
  // there, and it stays one here so both builds treat deep trees alike.
  if (query.size() >= MAX_PATH) {
    result.failed = true;
    return result;
  }
  if (query.empty() || query.find(L'\0') != std::wstring::npos) return result;

  WIN32_FIND_DATAW entry;
  HANDLE handle = FindFirstFileExW(query.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (handle == INVALID_HANDLE_VALUE) {
    result.failed = !meansNothingThere(GetLastError(), query);
    return result;
  }
  listing_ = handle;
  listingAttributes_ = attributes;
  listingWithoutExtension_ = asksForNoExtension(query);
  if (listed(entry)) return found(entry);
  return listNext();
}

ListResult Win32Platform::listNext() {
  ListResult result;
  if (listing_ == INVALID_HANDLE_VALUE) return result;
  WIN32_FIND_DATAW entry;
  while (FindNextFileW(listing_, &entry)) {
    if (listed(entry)) return found(entry);
  }
  result.failed = GetLastError() != ERROR_NO_MORE_FILES;
  endListing();
  return result;
}

bool Win32Platform::deleteFileAtRestart(const std::wstring& path) {
  // Needs administrator rights, which the setup has (its manifest asks for them).
  return MoveFileExW(pathSeenAtRestart(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool Win32Platform::deletionPendingAtRestart(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return false;
  }
  PendingList list;
  const bool read = readPendingList(key, list);
  RegCloseKey(key);
  return read && lastDeletionOf(list, pathSeenAtRestart(path)) != nullptr;
}

bool Win32Platform::cancelDeletionAtRestart(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  // The registry has no way to change a value only if nobody else changed it in between. Other
  // programs add to this list (through MoveFileEx, which reads, appends and writes it the same
  // way), so the list is read again right before the write, and the write happens only when it
  // is still exactly what the change was made from; otherwise the change is made again from the
  // newer list.
  const std::wstring wanted = pathSeenAtRestart(path);
  bool cancelled = false;
  for (int attempt = 0; attempt < kListEditAttempts; ++attempt) {
    PendingList before;
    if (!readPendingList(key, before)) break;
    const PendingRename* own = lastDeletionOf(before, wanted);
    if (own == nullptr) break;
    const std::vector<uint8_t> after = WithoutPair(before.bytes, *own);
    PendingList now;
    if (!readPendingList(key, now)) break;
    if (now.bytes != before.bytes) continue;
    // A list left with no pair at all is no list: the value goes, as it does after a restart.
    const LONG status = HoldsOnlyTerminators(after)
                            ? RegDeleteValueW(key, kPendingRenames)
                            : RegSetValueExW(key, kPendingRenames, 0, REG_MULTI_SZ, after.data(),
                                             static_cast<DWORD>(after.size()));
    cancelled = status == ERROR_SUCCESS;
    break;
  }
  RegCloseKey(key);
  return cancelled;
}

bool Win32Platform::deleteFile(const std::wstring& path) {
  return DeleteFileW(path.c_str()) != 0;
}

bool Win32Platform::renameFile(const std::wstring& from, const std::wstring& to) {
  // No MOVEFILE_REPLACE_EXISTING: an existing target makes the move fail, as the caller expects.
  // No MOVEFILE_COPY_ALLOWED: across volumes it would copy straight into the final name, where a
  // process ended in the middle leaves a partial file; the caller copies to a name of its own.
  return MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
}

bool Win32Platform::writeBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool complete = writeAll(file, bytes);
  // A close that fails can mean the data never reached the disk.
  if (!CloseHandle(file)) complete = false;
  return complete;
}

bool Win32Platform::writeNewFile(const std::wstring& path, const std::vector<uint8_t>& bytes,
                                 const std::function<bool()>& whileEmpty) {
  // CREATE_NEW fails on any file of that name, hidden and system ones too. Sharing nothing keeps
  // every other process (a scanner, a program waiting for the file) out until the handle closes,
  // so nobody ever opens the file empty or half written.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool complete = whileEmpty() && writeAll(file, bytes);
  if (!CloseHandle(file)) complete = false;
  if (!complete) DeleteFileW(path.c_str());
  return complete;
}

}  // namespace fenn
