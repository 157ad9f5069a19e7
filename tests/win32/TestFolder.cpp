#include "TestFolder.h"

#include <gtest/gtest.h>

namespace fenn::test {
namespace {

void removeTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &entry);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = folder + name;
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(full + L"\\");
      } else {
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

TestFolder::TestFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (unsigned attempt = GetTickCount(); path_.empty(); ++attempt) {
    std::wstring candidate = std::wstring(temp) + L"fenn-w32-" + std::to_wstring(attempt) + L"\\";
    if (CreateDirectoryW(candidate.c_str(), nullptr)) path_ = candidate;
  }
}

TestFolder::~TestFolder() {
  removeTree(path_);
}

std::wstring TestFolder::addFile(const std::wstring& relative, const std::string& content,
                                 DWORD attributes) const {
  std::wstring full = path_ + relative;
  HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "cannot create a test file";
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  SetFileAttributesW(full.c_str(), attributes);
  return full;
}

std::wstring TestFolder::addFolder(const std::wstring& relative, DWORD attributes) const {
  std::wstring full = path_ + relative;
  EXPECT_TRUE(CreateDirectoryW(full.c_str(), nullptr)) << "cannot create a test folder";
  if (attributes != FILE_ATTRIBUTE_NORMAL) {
    SetFileAttributesW(full.c_str(), attributes | FILE_ATTRIBUTE_DIRECTORY);
  }
  return full;
}

bool fileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<uint8_t> readFile(const std::wstring& path, bool& ok) {
  std::vector<uint8_t> bytes;
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ok = file != INVALID_HANDLE_VALUE;
  if (!ok) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  ok = bytes.empty() ||
       (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
        read == bytes.size());
  CloseHandle(file);
  return bytes;
}

bool writeEmbeddedFile(int id, const std::wstring& path) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!found) return false;
  const void* data = LockResource(LoadResource(nullptr, found));
  DWORD size = SizeofResource(nullptr, found);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, data, size, &written, nullptr) && written == size;
  return CloseHandle(file) && ok;
}

}  // namespace fenn::test
