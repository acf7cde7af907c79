#include "downloader/services/log_switch.h"

#include "common/fixed_string.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

namespace {

const wchar_t kDefaultLogName[] = L"downloaderlog.txt";

}  // namespace

void SwitchLogOn(const qn::OptionMap& options) {
  if (!options.HasOption(L"log")) return;
  g_setup.logEnabled = true;
  const wchar_t* value = options.GetOptionValue(L"log");
  const wchar_t* path = value[0] ? value : kDefaultLogName;
  // A path that does not fit would name another file: no log rather than a wrong one.
  if (!qn::CopyText(g_setup.logPath, kPathChars, path)) {
    g_setup.logEnabled = false;
    return;
  }
  OpenLog();
}
