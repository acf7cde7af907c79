// Starts a program with an exact command line, which `wine prog args` cannot
// give (it re-quotes). Used as a parent stand-in too: copied to a name such as
// Product[code].exe, it starts kitfetcher as its child.
//
//   start_exact.exe <file holding the UTF-8 command line> [--wait] [--cwd DIR] [--done-file F]
//
// --done-file is created once the started program has ended (with --wait): Wine's
// `wine` command itself may outlive it while other programs share its console.
#include <windows.h>

#include <stdio.h>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  bool wait = false;
  const wchar_t* cwd = NULL;
  const wchar_t* doneFile = NULL;
  for (int i = 2; i < argc; ++i) {
    if (wcscmp(argv[i], L"--wait") == 0) wait = true;
    if (wcscmp(argv[i], L"--cwd") == 0 && i + 1 < argc) cwd = argv[++i];
    if (wcscmp(argv[i], L"--done-file") == 0 && i + 1 < argc) doneFile = argv[++i];
  }
  FILE* f = _wfopen(argv[1], L"rb");
  if (!f) return 3;
  std::string utf8;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof(chunk), f)) > 0) utf8.append(chunk, n);
  fclose(f);
  while (!utf8.empty() && (utf8[utf8.size() - 1] == '\n' || utf8[utf8.size() - 1] == '\r')) utf8.erase(utf8.size() - 1);
  int wn = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), NULL, 0);
  std::vector<wchar_t> line(wn + 1, L'\0');
  if (wn) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), &line[0], wn);
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, cwd, &startup, &process)) return 4;
  if (wait) WaitForSingleObject(process.hProcess, INFINITE);
  if (doneFile) {
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    FILE* done = _wfopen(doneFile, L"wb");
    if (done) {
      fprintf(done, "%lu\n", static_cast<unsigned long>(exitCode));
      fclose(done);
    }
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return 0;
}
