#include "downloader/transfer/local_setup_folder.h"

#include <shlobj.h>
#include <string.h>

#include "common/fixed_string.h"
#include "common/path_join.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/common_files_folder.h"
#include "downloader/transfer/folder_names.h"

namespace {

const wchar_t kSetupInformation[] = L"SetupInformation";

}  // namespace

void ResolveLocalSetupFolder(const wchar_t* productCode) {
  memset(g_setup.worker.localSetupFolder, 0, sizeof(g_setup.worker.localSetupFolder));
  // An empty maker or product code names no folder level.
  const wchar_t* makerText = g_setup.locations.manufacturerName;
  wchar_t maker[kNameChars] = {0};
  if (makerText[0] && !StoredFolderName(makerText, maker, kNameChars)) {
    WriteLog(L"[KITFETCHER] Manufacturer name %s cannot name a folder; no local setup folder", makerText);
    return;
  }
  const wchar_t* codeText = productCode ? productCode : L"";
  wchar_t code[kProductCodeChars] = {0};
  if (codeText[0] && !StoredFolderName(codeText, code, kProductCodeChars)) {
    WriteLog(L"[KITFETCHER] Product code %s cannot name a folder; no local setup folder", codeText);
    return;
  }
  wchar_t folder[kLongPathChars];
  if (!MachineCommonFilesFolder(folder, kLongPathChars)) {
    WriteLog(L"[KITFETCHER] Cannot resolve the common program files folder; no local setup folder");
    return;
  }
  // The folder's path stays within MAX_PATH, whatever its buffer holds.
  if (!qn::JoinPath(folder, kPathChars, folder, maker) ||
      !qn::JoinPath(folder, kPathChars, folder, kSetupInformation) ||
      !qn::JoinPath(folder, kPathChars, folder, code)) {
    WriteLog(L"[KITFETCHER] Local setup folder under %s would be too long", folder);
    return;
  }
  qn::CopyText(g_setup.worker.localSetupFolder, kLongPathChars, folder);
  int created = SHCreateDirectoryExW(NULL, folder, NULL);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS) {
    WriteLog(L"[KITFETCHER] Cannot create %s. Error %d", folder, created);
  }
}
