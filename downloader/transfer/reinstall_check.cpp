#include "downloader/transfer/reinstall_check.h"

bool InstallStateAsksReinstall(INSTALLSTATE state) {
  return state != INSTALLSTATE_UNKNOWN && state != INSTALLSTATE_ADVERTISED && state != INSTALLSTATE_INVALIDARG;
}
