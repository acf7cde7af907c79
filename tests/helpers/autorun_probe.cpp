// Stand-in for a kit's autorun file. It notes where it ran (its own path and its
// working folder) in "autorun_ran.txt" in the working folder and, when the
// environment names an event in KIT_TEST_SIGNAL_EVENT, signals that event: the
// tests use it to quit a run at a known point.
#include <windows.h>

#include <stdio.h>

namespace {

void WriteUtf8Line(FILE* file, const wchar_t* text) {
  char narrow[4 * MAX_PATH];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof(narrow), NULL, NULL);
  if (n > 0) fprintf(file, "%s\n", narrow);
}

}  // namespace

int wmain() {
  wchar_t self[MAX_PATH] = {0};
  wchar_t folder[MAX_PATH] = {0};
  GetModuleFileNameW(NULL, self, MAX_PATH);
  GetCurrentDirectoryW(MAX_PATH, folder);
  FILE* note = _wfopen(L"autorun_ran.txt", L"wb");
  if (note) {
    WriteUtf8Line(note, self);
    WriteUtf8Line(note, folder);
    fclose(note);
  }
  wchar_t eventName[MAX_PATH];
  if (GetEnvironmentVariableW(L"KIT_TEST_SIGNAL_EVENT", eventName, MAX_PATH) > 0) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName);
    if (event) {
      SetEvent(event);
      CloseHandle(event);
    }
  }
  return 0;
}
