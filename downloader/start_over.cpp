#include "downloader/start_over.h"

#include <shlwapi.h>

#include "common/fixed_string.h"
#include "common/fresh_folder.h"
#include "common/guarded_string.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/setup_state.h"

namespace {

const wchar_t kFreshPrefix[] = L"kitfetcher.";
const wchar_t kPackageOption[] = L"package";
const wchar_t kDefaultLogName[] = L"downloaderlog.txt";

// Folder of the running executable, with a trailing backslash; false when the
// path does not fit (a truncated path names some other folder).
bool GetOwnFolder(wchar_t* folder, size_t capacity) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  PathRemoveFileSpecW(path);
  return qn::CopyText(folder, capacity, path) && qn::AppendText(folder, capacity, L"\\");
}

}  // namespace

bool FreshFolderParent(wchar_t* parent, size_t capacity) {
  wchar_t windows[MAX_PATH];
  UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
  return n > 0 && n < MAX_PATH && qn::CopyText(parent, capacity, windows) &&
         qn::AppendText(parent, capacity, windows[n - 1] == L'\\' ? L"Temp\\" : L"\\Temp\\");
}

RunPlace ChooseRunPlace(const qn::OptionMap& options, bool narrowSearch, bool checkFolderRights) {
  wchar_t parent[MAX_PATH];
  if (FreshFolderParent(parent, MAX_PATH) &&
      qn::RunsFromFreshFolder(parent, kFreshPrefix, qn::kForAdministrators, checkFolderRights)) {
    return qn::TakeHandedFolder(options.GetOptionValue(kPackageOption), g_setup.programFolder, kPathChars)
               ? kRunForFirstInstance
               : kRunNowhere;
  }
  if (!narrowSearch) return kStartOver;
  if (!GetOwnFolder(g_setup.programFolder, kPathChars)) g_setup.programFolder[0] = L'\0';
  return kRunInOwnFolder;
}

void StartOver(const wchar_t* arguments, const qn::OptionMap& options) {
  wchar_t parent[MAX_PATH];
  wchar_t package[MAX_PATH];
  wchar_t folder[MAX_PATH] = L"";
  bool removed = true;
  qn::Result ran = qn::Result::FromWin32(ERROR_PATH_NOT_FOUND);
  if (FreshFolderParent(parent, MAX_PATH) && GetOwnFolder(package, MAX_PATH)) {
    qn::GuardedString ahead;
    ahead.Append(L"/package:\"");
    ahead.Append(package);
    ahead.AppendChar(L'"');
    if (options.HasOption(L"log")) {
      // The copy runs in the fresh folder: a log path relative to this run's
      // current folder is made full here.
      const wchar_t* value = options.GetOptionValue(L"log");
      wchar_t full[MAX_PATH];
      DWORD n = GetFullPathNameW(value[0] ? value : kDefaultLogName, MAX_PATH, full, nullptr);
      if (n > 0 && n < MAX_PATH) {
        ahead.Append(L" /log:\"");
        ahead.Append(full);
        ahead.AppendChar(L'"');
      }
    }
    ran = qn::StartOverFromFreshFolder(parent, kFreshPrefix, qn::kForAdministrators, ahead.c_str(), arguments, true,
                                       folder, MAX_PATH, &removed);
  }
  // What the copy left in its folder (an uninstaller's files) goes now or at
  // the next restart.
  if (!removed && folder[0]) {
    size_t length = wcslen(folder);
    folder[length - 1] = L'\0';
    static_cast<void>(RemovePathTree(folder));
  }
  if (ran) return;
  // No window and no text of the package here: with the program's folder first
  // in the search, either could load a library planted beside it.
  OutputDebugStringW(L"[KITFETCHER] Cannot start over from a fresh folder; the run ends here");
  SwitchLogOn(options);
  WriteLog(L"[KITFETCHER] Cannot start over from a fresh folder (error %d); the run ends here",
           static_cast<int>(ran.Win32Error()));
}
