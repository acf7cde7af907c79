#include <windows.h>

#include "common/dll_search.h"
#include "launcher/launcher.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  // ShellExecuteW loads shell libraries by name on the way.
  qn::RestrictDllSearch();
  return RunKitstarter(commandLine);
}
