#include <windows.h>

#include "common/process_platform.h"
#include "common/fresh_folder.h"
#include "downloader/startup_sequence.h"

namespace {

#ifndef KIT_TEST_BUILD_WITHOUT_NARROW_SEARCH
constexpr qn::SearchBuild kBuild = {true, true};
#else
// Never shipped: a test build that behaves as where SetDefaultDllDirectories is
// missing (XP, Vista, 7 without KB2533623), so that the tests can take the
// start over under Wine, which has the function. Wine keeps no DACL of a folder
// (it reports the user as owner, with full control), so the copy knows its
// fresh folder by place and name alone here.
constexpr qn::SearchBuild kBuild = {false, false};
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  // Before anything can load a library: the program runs elevated from a
  // folder that web pages write to.
  bool narrowSearch = qn::RestrictDllSearch(kBuild.narrowSearch);
  return RunKitfetcher(instance, commandLine, narrowSearch, kBuild.checkFolderRights);
}
