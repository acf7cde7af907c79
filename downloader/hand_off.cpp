#include "downloader/hand_off.h"

#include <objbase.h>
#include <shlwapi.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "common/fatal_error.h"
#include "downloader/config/install_descriptor.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/texts.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/transfer/download_worker.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/ui/progress_dialog.h"

namespace {

// The worker under the progress dialog, until both are done. True when the kit
// may be handed over: the worker finished and nobody quit.
bool RunDownloadPhase() {
  ProgressDialog dialog;
  // Exists before the dialog does, so that no confirmed quit can go unsignalled.
  g_setup.cancelEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  qn::ScopedHandle worker(CreateThread(nullptr, 0, DownloadWorker, static_cast<WorkerHost*>(&dialog), 0, nullptr));
  if (!worker.Valid()) {
    // Nothing would ever end the dialog and no kit would be placed: give up.
    WriteLog(L"[KITFETCHER] Cannot start the download worker (error %d)", static_cast<int>(GetLastError()));
    return false;
  }
  qn::ScopedCoInit com;
  dialog.Run();
  // The worker may still use the taskbar object: release it only once it is gone.
  WaitForSingleObject(worker.Get(), INFINITE);
  worker.Reset();
  dialog.ReleaseTaskbar();
  // A quit confirmed after the worker's last look at the event still stops the install.
  return !g_setup.worker.aborted && !CancelRequested();
}

void AppendPatch(XmlPatchList* patches, const wchar_t* path, const wchar_t* value) {
  if (!patches->push_back(XmlPatch(path, value, true))) qn::FatalError(L"AppendPatch: out of memory");
}

// The run's own descriptor patches, applied after locations.xml's.
void QueueDescriptorPatches(const wchar_t* descriptorPath, XmlPatchList* patches) {
  if (g_setup.hasAffiliateSource) {
    AppendPatch(patches, L"/install/affiliate_source", g_setup.affiliateSource);
    AppendPatch(patches, L"/install/UseAffiliateSource", L"1");
  }
  if (g_setup.hasBuyLink) {
    AppendPatch(patches, L"/install/affiliate_buyLink", g_setup.buyLink);
    AppendPatch(patches, L"/install/UseAffiliateBuyLink", L"1");
  }
  if (!g_setup.worker.downloadNewFiles) {
    MarkItemsLocal(descriptorPath);
    AppendPatch(patches, L"/install/DownloadNewFiles", L"0");
  }
}

void CopyContactsDocument(const wchar_t* setupFolder) {
  qn::FixedString<MAX_PATH> source;
  qn::FixedString<MAX_PATH> target;
  if (!qn::JoinPath(source.data(), MAX_PATH, g_setup.programFolder, L"contacts.xml") ||
      !qn::JoinPath(target.data(), MAX_PATH, setupFolder, L"contacts.xml")) {
    WriteLog(L"[KITFETCHER] Copy file %s to %s error (%d)", source.c_str(), target.c_str(),
             static_cast<int>(ERROR_FILENAME_EXCED_RANGE));
    return;
  }
  WriteLog(L"[KITFETCHER] Copying file %s to %s", source.c_str(), target.c_str());
  if (!CopyFileW(source, target, FALSE)) {
    WriteLog(L"[KITFETCHER] Copy file %s to %s error (%d)", source.c_str(), target.c_str(),
             static_cast<int>(GetLastError()));
  }
}

}  // namespace

void DownloadAndHandOff() {
  bool handOver = RunDownloadPhase();
  const wchar_t* setupFolder = g_setup.worker.localSetupFolder;
  // Without a local setup folder there is nothing to hand over to.
  if (!handOver || setupFolder[0] == L'\0') {
    RemoveAbortedSetupFolder();
    return;
  }
  qn::FixedString<MAX_PATH> installer;
  qn::FixedString<MAX_PATH> descriptor;
  const wchar_t* descriptorName = g_setup.isWow64 ? L"install_x64.xml" : L"install_x86.xml";
  if (!qn::JoinPath(installer.data(), MAX_PATH, setupFolder, L"Installer.exe") ||
      !qn::JoinPath(descriptor.data(), MAX_PATH, setupFolder, descriptorName)) {
    WriteLog(L"[KITFETCHER] Local setup folder path too long: %s", setupFolder);
    return;
  }
  if (!PathFileExistsW(descriptor)) ShowMessage(nullptr, IDS_CANNOT_RUN, MB_OK | MB_ICONERROR);

  XmlPatchList runPatches;
  QueueDescriptorPatches(descriptor, &runPatches);
  ApplyXmlPatches(descriptor, g_setup.locations.xmlPatches, runPatches);
  CopyContactsDocument(setupFolder);
  static_cast<void>(RunProgramAndWait(installer, setupFolder));
}
