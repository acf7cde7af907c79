#include "downloader/services/process_runner.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <windows.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/system_libraries.h"

namespace {

// Switches Wow64 file-system redirection off for the calling thread while it
// lives, so that a command line naming the system folder reaches the native
// 64-bit program, and back on when the scope ends.
class RedirectionOff {
 public:
  RedirectionOff() {
    if (g_setup.isWow64 && g_setup.disableFsRedirection && g_setup.revertFsRedirection) {
      // Only a successful switch hands back a value that may be reverted.
      off_ = g_setup.disableFsRedirection(&previous_) != FALSE;
    }
  }
  RedirectionOff(const RedirectionOff&) = delete;
  RedirectionOff& operator=(const RedirectionOff&) = delete;
  ~RedirectionOff() {
    if (off_) g_setup.revertFsRedirection(previous_);
  }

 private:
  PVOID previous_ = nullptr;
  bool off_ = false;
};

}  // namespace

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

bool HasPath(const wchar_t* name, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (name[i] == L'\\' || name[i] == L'/' || name[i] == L':') return true;
  }
  return false;
}

// The system folder's file for a program name as a command line gives it
// (Windows adds ".exe" to a name without a dot); false when there is none.
// Redirection is off for the caller, so on 64-bit Windows this is the native
// system folder, as for the program Windows itself would start.
bool FindInSystemFolder(const wchar_t* name, size_t length, wchar_t* path, size_t capacity) {
  if (length == 0 || HasPath(name, length)) return false;
  wchar_t folder[MAX_PATH];
  UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  bool hasDot = false;
  for (size_t i = 0; i < length; ++i) hasDot = hasDot || name[i] == L'.';
  qn::FixedString<MAX_PATH> candidate;
  if (!candidate.Format(L"%s\\%.*s%s", folder, static_cast<int>(length), name, hasDot ? L"" : L".exe")) return false;
  DWORD attributes = GetFileAttributesW(candidate.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return qn::CopyText(path, capacity, candidate.c_str());
}

enum ProgramPlace { kProgramHasPath, kProgramInSystemFolder, kProgramNotFound };

// Where the program of a command line lies when the command names it without
// a path: Windows would look beside this program and in the current folder
// before the system folder, and both may hold files nobody vetted, so only the
// system folder counts. The candidates are those Windows tries: the quoted
// name, or the unquoted text up to each blank in turn.
ProgramPlace FindProgramWithoutPath(const wchar_t* commandLine, wchar_t* path, size_t capacity) {
  const wchar_t* name = commandLine;
  while (IsBlank(*name)) ++name;
  if (*name == L'"') {
    ++name;
    const wchar_t* close = wcschr(name, L'"');
    size_t length = close ? static_cast<size_t>(close - name) : wcslen(name);
    if (HasPath(name, length)) return kProgramHasPath;
    return FindInSystemFolder(name, length, path, capacity) ? kProgramInSystemFolder : kProgramNotFound;
  }
  size_t first = 0;
  while (name[first] && !IsBlank(name[first])) ++first;
  if (HasPath(name, first)) return kProgramHasPath;
  for (size_t end = first;; ++end) {
    if (!name[end] || IsBlank(name[end])) {
      if (FindInSystemFolder(name, end, path, capacity)) return kProgramInSystemFolder;
      if (!name[end]) return kProgramNotFound;
    }
  }
}

// application null: the program is the command line's first token.
qn::Result StartAndWait(const wchar_t* application, wchar_t* commandLine, const wchar_t* workingFolder) {
  qn::StartedProcess process;
  qn::Result started = qn::StartProcess(application, commandLine, workingFolder, &process);
  if (!started) {
    WriteLog(L"[KITFETCHER] Failed to run: %s", commandLine);
    return started;
  }
  WriteLog(L"[KITFETCHER] Started %s with pid %d", commandLine, static_cast<int>(process.id));
  WaitForSingleObject(process.process.Get(), INFINITE);
  return started;
}

void LogRunning(const wchar_t* commandLine, const wchar_t* workingFolder) {
  if (workingFolder) {
    WriteLog(L"[KITFETCHER] Running: %s in %s", commandLine, workingFolder);
  } else {
    WriteLog(L"[KITFETCHER] Running: %s", commandLine);
  }
}

}  // namespace

qn::Result RunProcessAndWait(wchar_t* commandLine, const wchar_t* workingFolder) {
  if (!commandLine) return qn::Result(qn::kRefused);
  LogRunning(commandLine, workingFolder);
  RedirectionOff redirection;
  wchar_t program[MAX_PATH];
  switch (FindProgramWithoutPath(commandLine, program, MAX_PATH)) {
    case kProgramHasPath:
      return StartAndWait(nullptr, commandLine, workingFolder);
    case kProgramInSystemFolder:
      // The command line stays as given: the program reads it as Windows made it.
      return StartAndWait(program, commandLine, workingFolder);
    case kProgramNotFound:
      break;
  }
  WriteLog(L"[KITFETCHER] Failed to run: %s", commandLine);
  return qn::Result::FromWin32(ERROR_FILE_NOT_FOUND);
}

qn::Result RunProgramAndWait(const wchar_t* programPath, const wchar_t* workingFolder) {
  if (!programPath) return qn::Result(qn::kRefused);
  // A path holds no quotes, so quoting it is enough for the program to read its
  // own name back as one argument.
  qn::FixedString<kLongPathChars + 2> commandLine;
  if (!commandLine.Format(L"\"%s\"", programPath)) {
    WriteLog(L"[KITFETCHER] Failed to run: %s", programPath);
    return qn::Result(qn::kDoesNotFit);
  }
  LogRunning(commandLine.c_str(), workingFolder);
  RedirectionOff redirection;
  return StartAndWait(programPath, commandLine.data(), workingFolder);
}

namespace {

// Longer than a path buffer, so that a path that would not fit is noticed
// instead of being cut into the name of some other file.
constexpr DWORD kModulePathProbeChars = 1024;

void ReadParentPath(DWORD parentId) {
  qn::ScopedHandle parent(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, parentId));
  if (!parent.Valid()) return;
  wchar_t path[kModulePathProbeChars];
  DWORD n = Psapi().getModuleFileNameEx(parent.Get(), nullptr, path, kModulePathProbeChars);
  if (n == 0 || n >= kModulePathProbeChars - 1) return;
  path[n] = L'\0';
  qn::CopyText(g_setup.parentProcessPath, kPathChars, path);
}

// The parent id in the snapshot's entry of `child`.
DWORD ParentOf(HANDLE snapshot, DWORD child, bool* found) {
  PROCESSENTRY32W entry;
  ZeroMemory(&entry, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == child) {
      *found = true;
      return entry.th32ParentProcessID;
    }
  }
  *found = false;
  return 0;
}

}  // namespace

DWORD FindParentProcess(bool startedOver) {
  qn::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.Valid()) return 0;
  bool found = false;
  DWORD parentId = ParentOf(snapshot.Get(), GetCurrentProcessId(), &found);
  // The first instance waits for this copy, so its entry is still there.
  if (found && startedOver) parentId = ParentOf(snapshot.Get(), parentId, &found);
  if (!found) return 0;
  if (g_setup.parentProcessPath[0] == L'\0') ReadParentPath(parentId);
  return parentId;
}

namespace {

// An attribute query rather than a directory search: a search would read "*"
// or "?" in a name as a pattern and find some other entry.
qn::Result LookUp(const wchar_t* path, DWORD* attributes) {
  *attributes = GetFileAttributesW(path);
  if (*attributes != INVALID_FILE_ATTRIBUTES) return qn::Result::Ok();
  qn::Result missing = qn::Result::LastError();
  WriteLog(L"[KITFETCHER] Error finding path %s (%d)", path, static_cast<int>(missing.Win32Error()));
  return missing;
}

bool IsDots(const wchar_t* name) {
  return (name[0] == L'.' && name[1] == L'\0') || (name[0] == L'.' && name[1] == L'.' && name[2] == L'\0');
}

void RemoveChildren(const wchar_t* folder) {
  wchar_t pattern[MAX_PATH];
  if (!qn::JoinPath(pattern, MAX_PATH, folder, L"*.*")) {
    WriteLog(L"[KITFETCHER] Cannot list %s: path too long", folder);
    return;
  }
  WIN32_FIND_DATAW found;
  qn::ScopedFindHandle listing(FindFirstFileW(pattern, &found));
  if (!listing.Valid()) return;
  do {
    if (IsDots(found.cFileName)) continue;
    wchar_t child[MAX_PATH];
    if (!qn::JoinPath(child, MAX_PATH, folder, found.cFileName)) {
      // A shortened path would name another file; leave this one alone.
      WriteLog(L"[KITFETCHER] Skipping %s in %s: path too long", found.cFileName, folder);
      continue;
    }
    // A child that cannot go now waits for the next restart, and its folder with it.
    static_cast<void>(RemovePathTree(child));
  } while (FindNextFileW(listing.Get(), &found));
}

}  // namespace

qn::Result RemovePathTree(const wchar_t* path) {
  if (!path) return qn::Result(qn::kRefused);
  DWORD attributes;
  qn::Result found = LookUp(path, &attributes);
  if (!found) return found;

  bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A junction or folder link is removed as a link; what it points to is not ours.
  if (folder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) RemoveChildren(path);

  if (!LookUp(path, &attributes)) {
    return MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? qn::Result::Ok() : qn::Result::LastError();
  }
  BOOL deleted = folder ? RemoveDirectoryW(path) : DeleteFileW(path);
  if (!deleted) MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return qn::Result::Ok();
}
