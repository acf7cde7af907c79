// Files and folders of a test's own under the temporary folder, and whole
// files written and read back as bytes.
#pragma once
#include <windows.h>

#include <stdio.h>
#include <string>

#include "tests/unit/support/unique_name.h"

namespace kittest {

// The temporary folder, without a trailing backslash.
inline std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return std::wstring();
  std::wstring folder(temp, n);
  if (folder[folder.size() - 1] == L'\\') folder.erase(folder.size() - 1);
  return folder;
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Creates the folder and every missing folder above it (a drive path).
inline void MakeFolders(const std::wstring& path) {
  for (size_t i = 3; i < path.size(); ++i) {
    if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), NULL);
  }
  CreateDirectoryW(path.c_str(), NULL);
}

// Removes a file or a folder with all it holds, read-only files included.
inline void DeleteTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") DeleteTree(path + L"\\" + name);
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
  } else {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
}

// Writes the file whole, creating the folders it lies in.
inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos) MakeFolders(path.substr(0, slash));
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

// The whole file; false, with nothing read, when it cannot be opened.
inline bool ReadFileInto(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return false;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), file)) > 0) bytes->append(buf, n);
  fclose(file);
  return true;
}

// The whole file; "<missing>" when it cannot be opened, so that a missing file
// never passes for an empty one.
inline std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  return ReadFileInto(path, &bytes) ? bytes : std::string("<missing>");
}

// A folder of its own under the temporary folder, removed at the end with all
// it holds, names beyond MAX_PATH included.
class ScratchFolder {
 public:
  explicit ScratchFolder(const wchar_t* stem = L"kittest") : path_(TempFolder() + L"\\" + UniqueName(stem)) {
    CreateDirectoryW(path_.c_str(), NULL);
  }
  ~ScratchFolder() { DeleteTree(L"\\\\?\\" + path_); }
  // Without a trailing backslash.
  const std::wstring& Path() const { return path_; }
  std::wstring Sub(const std::wstring& relative) const { return path_ + L"\\" + relative; }

 private:
  ScratchFolder(const ScratchFolder&);
  ScratchFolder& operator=(const ScratchFolder&);
  std::wstring path_;
};

}  // namespace kittest
