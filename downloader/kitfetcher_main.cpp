#include <windows.h>

#include "common/process_platform.h"
#include "common/fresh_folder.h"
#include "downloader/startup_sequence.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  // Before anything can load a library: the program runs elevated from a
  // folder that web pages write to.
  bool narrowSearch = qn::RestrictDllSearch(qn::kThisBuild.narrowSearch);
  return RunKitfetcher(instance, commandLine, narrowSearch, qn::kThisBuild.checkFolderRights);
}
