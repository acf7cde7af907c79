#include <windows.h>

#include "common/dll_search.h"
#include "downloader/startup_sequence.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  // Before anything can load a library: the program runs elevated from a
  // folder that web pages write to.
  qn::RestrictDllSearch();
  return RunKitfetcher(instance, commandLine);
}
