// What the tests of competing-product detection and of the removal library
// binding share: a program folder of their own holding a copy of a removal
// library variant and its catalogue, Uninstall entries created in the real
// registry under unique names and deleted again, and the diagnostic log read
// back line by line.
#pragma once
#include <windows.h>
#include <shlwapi.h>

#include <stdlib.h>
#include <memory>
#include <string>
#include <vector>

#include "common/fixed_string.h"
#include "downloader/products/uninstall_dll_wrapper.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/text_lines.h"
#include "tests/unit/support/unique_name.h"

namespace kittest {

// A unique name marked as the tests' own, so that a key left behind in the
// shared Uninstall registry shows whose it is.
inline std::wstring MarkedName(const wchar_t* tag) {
  return kittest::UniqueName(std::wstring(L"KitTest_") + tag);
}

// The build folder, where the library variants and the stand-in programs lie:
// KIT_WIPEKIT_DIR when set, else the parent of the test program's folder.
inline std::wstring BuildFolder() {
  const wchar_t* fromEnvironment = _wgetenv(L"KIT_WIPEKIT_DIR");
  if (fromEnvironment && fromEnvironment[0]) {
    std::wstring folder = fromEnvironment;
    if (folder[folder.size() - 1] != L'\\') folder += L'\\';
    return folder;
  }
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(NULL, self, MAX_PATH);
  PathRemoveFileSpecW(self);  // tests folder
  PathRemoveFileSpecW(self);  // build folder
  return std::wstring(self) + L"\\";
}

inline bool WriteUtf8(const std::wstring& path, const std::wstring& text) {
  return kittest::WriteBytes(path, kittest::BytesFromWide(text, CP_UTF8));
}

// A folder of its own that plays the program's folder: programFolder points
// at it, the diagnostic log is written into it, and it is emptied and removed
// at the end, after the removal library has been let go.
class ProgramFolder {
 public:
  ProgramFolder() : folder_(L"KitTest_folder"), path_(folder_.Path() + L"\\") {
    ResetSetupState();
    qn::CopyText(g_setup.programFolder, kPathChars, path_.c_str());
    log_.reset(new kittest::LogCapture(File(L"log.txt")));
  }
  ~ProgramFolder() {
    UninstallDll().Unload();
    log_.reset();
    ResetSetupState();
  }

  // Ends with a backslash.
  const std::wstring& Path() const { return path_; }
  std::wstring File(const wchar_t* name) const { return path_ + name; }

  // Copies a library variant ("wipekit", "wipekit_nouninstall", ...) as wipekit.dll.
  bool PutLibrary(const wchar_t* variant) const {
    return CopyFileW((BuildFolder() + variant + L".dll").c_str(), File(L"wipekit.dll").c_str(), FALSE) != FALSE;
  }
  bool PutCatalogue(const std::wstring& text) const { return WriteUtf8(File(L"wipekit.ini"), text); }
  // Copies the uninstaller stand-in under `name`; its record is name + ".cmdline.txt".
  bool PutStandIn(const wchar_t* name) const {
    std::wstring standIn = kittest::TestProgramFolder() + L"uninstall_standin.exe";
    return CopyFileW(standIn.c_str(), File(name).c_str(), FALSE) != FALSE;
  }
  std::vector<std::wstring> StandInRecord(const wchar_t* name) const {
    std::string bytes;
    kittest::ReadFileInto(File(name) + L".cmdline.txt", &bytes);
    return kittest::SplitLines(kittest::WideFromBytes(bytes, CP_UTF8));
  }

  // The log's messages without their time stamps.
  std::vector<std::wstring> LogLines() const { return log_->Lines(); }
  // Index of the first log message containing `part`, or -1.
  int LogIndexOf(const std::wstring& part) const { return log_->IndexOf(part); }
  bool LogHas(const std::wstring& part) const { return LogIndexOf(part) >= 0; }

 private:
  ProgramFolder(const ProgramFolder&);
  ProgramFolder& operator=(const ProgramFolder&);
  kittest::ScratchFolder folder_;  // removed last, after the library and the log are let go
  std::wstring path_;
  std::unique_ptr<kittest::LogCapture> log_;
};

enum UninstallView { kNativeView = 0, kWowView = 1 };

inline std::wstring UninstallParent(UninstallView view) {
  return view == kNativeView ? L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
                             : L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
}

inline bool EntryExists(UninstallView view, const std::wstring& key) {
  HKEY handle = NULL;
  LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, (UninstallParent(view) + L"\\" + key).c_str(), 0,
                             KEY_QUERY_VALUE | KEY_WOW64_64KEY, &handle);
  if (handle) RegCloseKey(handle);
  return error == ERROR_SUCCESS;
}

// An Uninstall entry that exists for the lifetime of the object.
class UninstallEntry {
 public:
  UninstallEntry(UninstallView view, const std::wstring& key) : view_(view), key_(key) {
    HKEY handle = NULL;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, NULL, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, NULL, &handle,
                    NULL);
    if (handle) RegCloseKey(handle);
  }
  ~UninstallEntry() {
    HKEY parent = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, UninstallParent(view_).c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                      &parent) == ERROR_SUCCESS) {
      SHDeleteKeyW(parent, key_.c_str());
      RegCloseKey(parent);
    }
  }
  // Writes raw bytes, so a test can store a text without its terminator.
  bool SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes) const {
    HKEY handle = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Path().c_str(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &handle) !=
        ERROR_SUCCESS) {
      return false;
    }
    LONG error = RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(handle);
    return error == ERROR_SUCCESS;
  }
  bool Set(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) const {
    return SetRaw(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  const UninstallEntry& Named(const std::wstring& displayName, const std::wstring& uninstallString) const {
    Set(L"DisplayName", displayName);
    Set(L"UninstallString", uninstallString);
    return *this;
  }
  bool Exists() const { return EntryExists(view_, key_); }
  // The key below HKEY_LOCAL_MACHINE, as the downloader builds it.
  std::wstring Path() const { return UninstallParent(view_) + L"\\" + key_; }
  const std::wstring& Key() const { return key_; }

 private:
  UninstallEntry(const UninstallEntry&);
  UninstallEntry& operator=(const UninstallEntry&);
  UninstallView view_;
  std::wstring key_;
};

// The restart registration, when it is the one written for `programFolder`
// (tests elsewhere may write their own at the same time).
inline bool OwnRestartRegistration(const std::wstring& programFolder, std::wstring* data) {
  HKEY run = NULL;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_QUERY_VALUE,
                    &run) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t text[2048] = {0};
  DWORD bytes = sizeof(text) - sizeof(wchar_t);
  DWORD type = REG_NONE;
  LONG error = RegQueryValueExW(run, L"qninstaller", NULL, &type, reinterpret_cast<BYTE*>(text), &bytes);
  RegCloseKey(run);
  if (error != ERROR_SUCCESS || std::wstring(text).find(programFolder) == std::wstring::npos) return false;
  if (data) *data = text;
  return true;
}

inline void DeleteOwnRestartRegistration(const std::wstring& programFolder) {
  if (!OwnRestartRegistration(programFolder, NULL)) return;
  HKEY run = NULL;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_SET_VALUE,
                    &run) == ERROR_SUCCESS) {
    RegDeleteValueW(run, L"qninstaller");
    RegCloseKey(run);
  }
}

}  // namespace kittest
