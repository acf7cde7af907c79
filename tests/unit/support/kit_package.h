// An offline package in a scratch folder (kit files, their .md5 files, an
// optional productcode.txt) and a scratch "common program files" folder in
// which the local setup folder is created; both wired into g_setup.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "downloader/services/setup_state.h"
#include "downloader/transfer/setup_folder.h"
#include "tests/unit/support/fresh_setup_state.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace kittest {

const wchar_t kMaker[] = L"Kit Maker";
// A closed port: every server request is refused at once.
const wchar_t kRefusingServer[] = L"http://127.0.0.1:1/%s/";

// The machine's registry as this process sees it, standing in for the prefix's
// own (which every test of the prefix shares): HKEY_LOCAL_MACHINE leads to a
// scratch key that holds only CommonFilesDir.
class MachineRegistryStandIn {
 public:
  explicit MachineRegistryStandIn(const std::wstring& commonFilesDir)
      : path_(L"Software\\kittest\\" + kittest::UniqueName(L"machine")), root_(NULL) {
    RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &root_, NULL);
    SetCommonFilesDir(commonFilesDir.c_str());
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, root_);
  }
  ~MachineRegistryStandIn() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, NULL);
    RegCloseKey(root_);
    SHDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  }
  // NULL removes the value.
  void SetCommonFilesDir(const wchar_t* folder) {
    HKEY key;
    if (RegCreateKeyExW(root_, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                        &key, NULL) != ERROR_SUCCESS)
      return;
    if (folder) {
      RegSetValueExW(key, L"CommonFilesDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                     static_cast<DWORD>((lstrlenW(folder) + 1) * sizeof(wchar_t)));
    } else {
      RegDeleteValueW(key, L"CommonFilesDir");
    }
    RegCloseKey(key);
  }

 private:
  MachineRegistryStandIn(const MachineRegistryStandIn&);
  MachineRegistryStandIn& operator=(const MachineRegistryStandIn&);
  std::wstring path_;
  HKEY root_;
};

// A kit entry as locations.xml gives it: its name, the .md5 beside it, and its
// folder and URL template when given.
inline DownloadableFile KitFile(const wchar_t* name, const wchar_t* relativePath = nullptr,
                                const wchar_t* baseUrl = nullptr) {
  DownloadableFile file;
  file.name.Set(name);
  file.md5Name.Set((std::wstring(name) + L".md5").c_str());
  if (relativePath) file.relativePath.Set(relativePath);
  if (baseUrl) file.baseUrl.Set(baseUrl);
  return file;
}

class KitPackage {
 public:
  KitPackage() : package_(L"kitpkg"), common_(L"kitcommon"), machine_(common_.Path()) {
    std::wstring folder = package_.Path() + L"\\";
    lstrcpynW(g_setup.programFolder, folder.c_str(), MAX_PATH);
    // As on 64-bit Windows, where the machine's registry names the folder.
    g_setup.isWow64 = true;
    lstrcpyW(g_setup.locations.manufacturerName, kMaker);
    lstrcpyW(g_setup.locations.language, L"en");
    g_setup.locations.baseUrl.Set(kRefusingServer);
  }

  // Adds a kit file (content, and a .md5 holding `digest` unless it is null).
  DownloadableFile& Add(const wchar_t* name, const wchar_t* relativePath, const std::string& content,
                        const char* digest, bool autorun = false) {
    std::wstring folder = package_.Path();
    if (relativePath) {
      folder += std::wstring(L"\\") + relativePath;
      CreateDirectoryW(folder.c_str(), NULL);
    }
    kittest::WriteBytes(folder + L"\\" + name, content);
    if (digest) kittest::WriteBytes(folder + L"\\" + name + L".md5", digest);
    return AddEntry(name, relativePath, autorun);
  }

  // The autorun stand-in, copied into the package under the given folder.
  DownloadableFile& AddAutorunProbe(const wchar_t* relativePath, const char* digest) {
    std::wstring folder = package_.Path() + L"\\" + relativePath;
    CreateDirectoryW(folder.c_str(), NULL);
    std::wstring probe = kittest::TestProgramFolder() + L"autorun_probe.exe";
    CopyFileW(probe.c_str(), (folder + L"\\autorun_probe.exe").c_str(), FALSE);
    if (digest) kittest::WriteBytes(folder + L"\\autorun_probe.exe.md5", digest);
    return AddEntry(L"autorun_probe.exe", relativePath, true);
  }

  // An entry as locations.xml may give it, nothing written to the package.
  DownloadableFile& AddEntry(const wchar_t* name, const wchar_t* relativePath, bool autorun) {
    DownloadableFile file = KitFile(name, relativePath);
    file.autorun = autorun;
    EXPECT_TRUE(g_setup.locations.downloadableFiles.push_back(file));
    return g_setup.locations.downloadableFiles.back();
  }

  void WriteProductCode(const std::string& text) { kittest::WriteBytes(package_.Sub(L"productcode.txt"), text); }

  std::wstring SharedFolder() const { return common_.Path() + L"\\" + kMaker + L"\\SetupInformation"; }
  std::wstring SetupFolder(const std::wstring& productCode) const { return SharedFolder() + L"\\" + productCode; }
  const std::wstring& CommonFolder() const { return common_.Path(); }
  const std::wstring& PackageFolder() const { return package_.Path(); }

 private:
  kittest::ScratchFolder package_;
  kittest::ScratchFolder common_;
  MachineRegistryStandIn machine_;
};

// Every file below root, as sorted relative paths (folders end with "\").
inline void ListTreeInto(const std::wstring& root, const std::wstring& prefix, std::vector<std::wstring>* out) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((root + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out->push_back(prefix + name + L"\\");
      ListTreeInto(root + L"\\" + name, prefix + name + L"\\", out);
    } else {
      out->push_back(prefix + name);
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

inline std::vector<std::wstring> ListTree(const std::wstring& root) {
  std::vector<std::wstring> files;
  ListTreeInto(root, L"", &files);
  std::sort(files.begin(), files.end());
  return files;
}

// A named manual-reset event, so that the autorun stand-in can signal it.
class NamedEvent {
 public:
  NamedEvent() : name_(L"Local\\" + kittest::UniqueName(L"kittest_event")) {
    handle_ = CreateEventW(NULL, TRUE, FALSE, name_.c_str());
  }
  ~NamedEvent() {
    if (handle_) CloseHandle(handle_);
  }
  HANDLE Get() const { return handle_; }
  const std::wstring& Name() const { return name_; }
  bool IsSet() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

 private:
  NamedEvent(const NamedEvent&);
  NamedEvent& operator=(const NamedEvent&);
  std::wstring name_;
  HANDLE handle_;
};

// The setup state as the worker meets it, for the life of the object: fresh,
// with its stats lock, no record of placed files, and a cancel event of the
// object's own, which the autorun stand-in sets once SignalOnAutorun named it.
class WorkerScope {
 public:
  WorkerScope() {
    FreshSetupStateWithStatsLock();
    ResetSetupFolderRecord();
    g_setup.cancelEvent.Reset(cancel.Get());
    SetEnvironmentVariableW(L"KIT_TEST_SIGNAL_EVENT", NULL);
  }
  ~WorkerScope() {
    SetEnvironmentVariableW(L"KIT_TEST_SIGNAL_EVENT", NULL);
    (void)g_setup.cancelEvent.Release();  // `cancel` owns it
    ResetSetupState();
  }
  WorkerScope(const WorkerScope&) = delete;
  WorkerScope& operator=(const WorkerScope&) = delete;
  void SignalOnAutorun() const { SetEnvironmentVariableW(L"KIT_TEST_SIGNAL_EVENT", cancel.Name().c_str()); }

  NamedEvent cancel;
};

}  // namespace kittest
