// Scratch folders, documents written to them, the diagnostic log captured, and
// a DOM reader for checking the documents afterwards: what the tests of the
// XML readers and patchers share.
#pragma once
#include <windows.h>

#include <stdio.h>
#include <string>

#include "common/fixed_string.h"
#include "common/wide_format.h"
#include "downloader/config/xml_dom.h"
#include "downloader/diagnostic_log.h"
#include "downloader/setup_state.h"

namespace xmltest {

// A folder of its own under the temporary folder, emptied and removed at the end.
class ScratchFolder {
 public:
  ScratchFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    wchar_t name[64];
    qn::FormatInto(name, 64, L"xmltest_%lu_%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
    path_ = std::wstring(temp) + name;
    CreateDirectoryW(path_.c_str(), NULL);
  }
  ~ScratchFolder() {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring file = path_ + L"\\" + found.cFileName;
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(file.c_str());
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& Path() const { return path_; }
  // Folder with a trailing backslash, as programFolder holds it.
  std::wstring FolderWithSlash() const { return path_ + L"\\"; }
  std::wstring File(const wchar_t* name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL);
  CloseHandle(file);
  return ok && written == bytes.size();
}

inline std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, NULL) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

// Last-write time as a 64-bit count, 0 when the file is missing.
inline ULONGLONG LastWriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Puts the file's last-write time far in the past, so that any rewrite shows.
inline void AgeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  SYSTEMTIME old = {2001, 1, 0, 1, 12, 0, 0, 0};
  FILETIME stamp;
  SystemTimeToFileTime(&old, &stamp);
  SetFileTime(file, NULL, NULL, &stamp);
  CloseHandle(file);
}

// Turns the diagnostic log on into a file of the scratch folder for the life
// of the object.
class LogCapture {
 public:
  explicit LogCapture(const ScratchFolder& folder) : path_(folder.File(L"log.txt")) {
    g_setup.logEnabled = true;
    qn::CopyText(g_setup.logPath, MAX_PATH, path_.c_str());
    OpenLog();
  }
  ~LogCapture() {
    CloseLog();
    g_setup.logEnabled = false;
  }
  // The messages written so far, time stamps removed, one per line.
  std::string Messages() {
    fflush(g_setup.logFile);
    std::string all = ReadFileBytes(path_), messages;
    size_t start = 0;
    while (start < all.size()) {
      size_t end = all.find('\n', start);
      if (end == std::string::npos) end = all.size();
      std::string line = all.substr(start, end - start);
      if (!line.empty() && line[line.size() - 1] == '\r') line.erase(line.size() - 1);
      size_t stamp = line.find("] ");
      messages += (stamp == std::string::npos ? line : line.substr(stamp + 2)) + "\n";
      start = end + 1;
    }
    return messages;
  }

 private:
  std::wstring path_;
};

// Reads a document back through the DOM, for checks after a patch.
class Document {
 public:
  // Checks are written in XPath, not in the DOM's default pattern language.
  explicit Document(const std::wstring& path) : com_() {
    if (xmldom::OpenDocument(path.c_str(), doc_) != S_OK) return;
    qn::ComPtr<IXMLDOMDocument2> doc2;
    const IID iidDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
    if (SUCCEEDED(doc_->QueryInterface(iidDocument2, doc2.ReceiveVoid())) && !doc2.IsNull()) {
      qn::ScopedBstr name(L"SelectionLanguage");
      qn::ScopedVariant value(L"XPath");
      doc2->setProperty(name.Get(), value.Get());
    }
  }
  bool Loaded() const { return !doc_.IsNull(); }
  // Number of nodes the path selects.
  long Count(const wchar_t* xpath) const {
    if (doc_.IsNull()) return -1;
    qn::ComPtr<IXMLDOMNodeList> list;
    qn::ScopedBstr query(xpath);
    long length = -1;
    if (doc_->selectNodes(query.Get(), list.Receive()) == S_OK) list->get_length(&length);
    return length;
  }
  // Text of the first node the path selects; "<none>" when nothing matches.
  std::wstring Text(const wchar_t* xpath) const {
    if (doc_.IsNull()) return L"<none>";
    xmldom::NodePtr node;
    qn::ScopedBstr text;
    if (xmldom::SelectNode(doc_.Get(), xpath, node) != S_OK ||
        xmldom::ReadText(node.Get(), text) != S_OK) {
      return L"<none>";
    }
    return text.Text();
  }

 private:
  qn::ScopedCoInit com_;
  xmldom::DocumentPtr doc_;
};

}  // namespace xmltest
