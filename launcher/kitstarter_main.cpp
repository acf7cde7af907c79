#include <windows.h>

#include "common/process_platform.h"
#include "common/fresh_folder.h"
#include "launcher/launcher.h"

namespace {

#ifndef KIT_TEST_BUILD_WITHOUT_NARROW_SEARCH
constexpr qn::SearchBuild kBuild = {true, true};
#else
// Never shipped: as in downloader/kitfetcher_main.cpp, a test build that
// behaves as where SetDefaultDllDirectories is missing and knows its fresh
// folder by place and name alone.
constexpr qn::SearchBuild kBuild = {false, false};
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
  // ShellExecuteW loads shell libraries by name on the way.
  bool narrowSearch = qn::RestrictDllSearch(kBuild.narrowSearch);
  return RunKitstarter(commandLine, narrowSearch, kBuild.checkFolderRights);
}
