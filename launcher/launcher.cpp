#include "launcher/launcher.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "common/started_process.h"
#include "common/wow64.h"

namespace {

const uint32_t kInPlaceChars = 512;

}  // namespace

bool GetProgramFolder(qn::GuardedString& folder) {
  wchar_t* buffer = folder.GetBuffer();
  uint32_t capacity = folder.Capacity();
  if (!buffer || capacity == 0) return false;
  DWORD n = GetModuleFileNameW(NULL, buffer, capacity);
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
  if (qn::StartProcess(path.c_str(), commandLine.GetBuffer(), NULL, &process)) {
    OutputDebugStringW(L"[KITSTARTER] Waiting for :");
    OutputDebugStringW(path.c_str());
    WaitForSingleObject(process.process.Get(), INFINITE);
    OutputDebugStringW(L"[KITSTARTER] Exiting!");
  } else {
    OutputDebugStringW(L"[KITSTARTER] Could not run designated process!");
  }
  return 0;
}

void StartRequestedProgram(const qn::OptionMap& options) {
  wchar_t folder[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    folder[0] = L'\0';
  } else {
    PathRemoveFileSpecW(folder);
  }
  const wchar_t* parameters = options.GetOptionValue(L"args");
  const wchar_t* target = options.GetOptionValue(L"run");
  ShellExecuteW(NULL, NULL, target, parameters, folder[0] ? folder : NULL, SW_SHOW);
}

int RunKitstarter(const wchar_t* commandLine) {
  qn::OptionMap options(commandLine ? commandLine : L"");
  if (options.HasOption(L"wow64")) {
    qn::InPlaceGuardedString<kInPlaceChars> folder;
    return StartPlatformSetup(GetProgramFolder(folder) ? folder.c_str() : NULL);
  }
  if (options.HasOption(L"run")) StartRequestedProgram(options);
  return 0;
}
