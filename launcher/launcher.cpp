#include "launcher/launcher.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "common/fixed_string.h"
#include "common/fresh_folder.h"
#include "common/scoped_handles.h"
#include "common/process_platform.h"

namespace {

constexpr uint32_t kInPlaceChars = 512;

}  // namespace

bool GetProgramFolder(qn::GuardedString& folder) {
  wchar_t* buffer = folder.GetBuffer();
  uint32_t capacity = folder.Capacity();
  if (!buffer || capacity == 0) return false;
  DWORD n = GetModuleFileNameW(nullptr, buffer, capacity);
  if (n == 0 || n >= capacity) {
    // A cut path names another file; keep nothing of it.
    buffer[0] = L'\0';
    folder.ReleaseBuffer();
    return false;
  }
  buffer[n] = L'\0';
  bool removed = PathRemoveFileSpecW(buffer) != FALSE;
  folder.ReleaseBuffer();
  if (!removed) return false;
  folder.AppendChar(L'\\');
  return true;
}

bool AppendPathComponent(const wchar_t* component, qn::GuardedString& path) {
  if (!component || !*component) return true;
  uint32_t length = path.Length();
  if (length > 0) {
    wchar_t last = path.c_str()[length - 1];
    if (last != L'\\' && last != L'/') path.AppendChar(L'\\');
  }
  while (*component == L'\\' || *component == L'/') ++component;
  path.Append(component);
  return true;
}

int StartPlatformSetup(const wchar_t* folder) {
  // Without its folder the name alone would be looked up in the current folder.
  if (!folder || !*folder) {
    OutputDebugStringW(L"[KITSTARTER] Could not run designated process!");
    return 0;
  }
  qn::InPlaceGuardedString<kInPlaceChars> path;
  path.Assign(folder);
  AppendPathComponent(qn::RunsUnderWow64() ? L"setup64.exe" : L"setup32.exe", path);
  OutputDebugStringW(L"[KITSTARTER] Running: ");
  OutputDebugStringW(path.c_str());

  // The path is the program, so that no prefix of it ending at a blank
  // ("C:\Program.exe") runs in its place; the program still reads its own
  // name, quoted, from a private copy that CreateProcessW may write into.
  qn::GuardedString commandLine;
  commandLine.AppendChar(L'"');
  commandLine.Append(path.c_str());
  commandLine.AppendChar(L'"');
  qn::StartedProcess process;
  if (qn::StartProcess(path.c_str(), commandLine.GetBuffer(), nullptr, &process)) {
    OutputDebugStringW(L"[KITSTARTER] Waiting for :");
    OutputDebugStringW(path.c_str());
    WaitForSingleObject(process.process.Get(), INFINITE);
    OutputDebugStringW(L"[KITSTARTER] Exiting!");
  } else {
    OutputDebugStringW(L"[KITSTARTER] Could not run designated process!");
  }
  return 0;
}

void StartRequestedProgram(const qn::OptionMap& options, const wchar_t* folder) {
  // The working folder is the program folder without its trailing backslash
  // (a drive's root keeps it: "C:" alone names that drive's current folder).
  wchar_t workingFolder[MAX_PATH] = L"";
  if (folder && qn::CopyText(workingFolder, MAX_PATH, folder)) {
    size_t length = wcslen(workingFolder);
    if (length > 3 && workingFolder[length - 1] == L'\\') workingFolder[length - 1] = L'\0';
  }
  const wchar_t* parameters = options.GetOptionValue(L"args");
  const wchar_t* target = options.GetOptionValue(L"run");
  ShellExecuteW(nullptr, nullptr, target, parameters, workingFolder[0] ? workingFolder : nullptr, SW_SHOW);
}

namespace {

const wchar_t kFreshPrefix[] = L"kitstarter.";

// The user's temporary folder, with a trailing backslash.
bool FreshFolderParent(wchar_t* parent, size_t capacity) {
  DWORD n = GetTempPathW(static_cast<DWORD>(capacity), parent);
  return n > 0 && n < capacity && parent[n - 1] == L'\\';
}

// The first instance: runs the same jobs from a copy in a fresh folder and
// hands it its own folder. The copy's current folder stays this one's, as the
// setup programs of /wow64 inherit it.
void StartOver(const wchar_t* commandLine, const wchar_t* folder) {
  wchar_t parent[MAX_PATH];
  wchar_t fresh[MAX_PATH];
  bool removed = false;
  qn::GuardedString ahead;
  ahead.Append(L"/package:\"");
  ahead.Append(folder);
  ahead.AppendChar(L'"');
  if (!FreshFolderParent(parent, MAX_PATH) ||
      !qn::StartOverFromFreshFolder(parent, kFreshPrefix, qn::kForCurrentUser, ahead.c_str(), commandLine, false,
                                    fresh, MAX_PATH, &removed)) {
    OutputDebugStringW(L"[KITSTARTER] Could not run designated process!");
  }
}

}  // namespace

int RunKitstarter(const wchar_t* commandLine, bool narrowSearch, bool checkFolderRights) {
  qn::OptionMap options(commandLine ? commandLine : L"");
  bool wow64 = options.HasOption(L"wow64");
  if (!wow64 && !options.HasOption(L"run")) return 0;
  qn::InPlaceGuardedString<kInPlaceChars> folder;
  wchar_t parent[MAX_PATH];
  bool known;
  if (FreshFolderParent(parent, MAX_PATH) &&
      qn::RunsFromFreshFolder(parent, kFreshPrefix, qn::kForCurrentUser, checkFolderRights)) {
    // The copy: its jobs are those of the first instance's folder.
    wchar_t package[MAX_PATH];
    known = qn::TakeHandedFolder(options.GetOptionValue(L"package"), package, MAX_PATH).Succeeded();
    folder.Assign(package);
  } else {
    known = GetProgramFolder(folder);
    // Without the narrow search the shell's and the system's libraries loaded
    // by name would be looked for in this folder first.
    if (!narrowSearch) {
      if (known) {
        StartOver(commandLine ? commandLine : L"", folder.c_str());
      } else {
        OutputDebugStringW(L"[KITSTARTER] Could not run designated process!");
      }
      return 0;
    }
  }
  if (wow64) return StartPlatformSetup(known ? folder.c_str() : nullptr);
  StartRequestedProgram(options, known ? folder.c_str() : nullptr);
  return 0;
}
