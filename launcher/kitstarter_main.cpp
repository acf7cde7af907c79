#include <windows.h>

#include "common/process_platform.h"
#include "common/fresh_folder.h"
#include "launcher/launcher.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  // ShellExecuteW loads shell libraries by name on the way.
  bool narrowSearch = qn::RestrictDllSearch(qn::kThisBuild.narrowSearch);
  return RunKitstarter(commandLine, narrowSearch, qn::kThisBuild.checkFolderRights);
}
