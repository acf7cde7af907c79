#include "downloader/hand_off.h"

#include <objbase.h>
#include <shlwapi.h>

#include "common/fixed_string.h"
#include "common/path_join.h"
#include "common/scoped_handles.h"
#include "downloader/config/install_descriptor.h"
#include "downloader/config/xml_patches.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/message_box.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/download_worker.h"
#include "downloader/transfer/setup_folder_record.h"
#include "downloader/transfer/worker_run.h"
#include "downloader/ui/progress_dialog.h"
#include "downloader/services/text_ids.h"

namespace {

void RunDownloadPhase() {
  g_setup.dialogBrush = CreateSolidBrush(RGB(0, 0, 0));
  g_setup.dialogReadyEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
  // Exists before the dialog does, so that no confirmed quit can go unsignalled.
  g_setup.cancelEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
  qn::ScopedHandle worker(CreateThread(NULL, 0, DownloadWorker, NULL, 0, NULL));
  if (!worker.Valid()) {
    // Nothing would ever end the dialog and no kit would be placed: give up.
    WriteLog(L"[KITFETCHER] Cannot start the download worker (error %d)", static_cast<int>(GetLastError()));
    g_setup.installAborted = true;
    return;
  }
  qn::ScopedCoInit com;
  RunProgressDialog();
  // The worker may still use the taskbar object: release it only once it is gone.
  WaitForSingleObject(worker.Get(), INFINITE);
  worker.Reset();
  if (g_setup.taskbarList && g_setup.osVersionCode == kOsWindows7) {
    g_setup.taskbarList->Release();
    g_setup.taskbarList = NULL;
  }
  // A quit confirmed after the worker's last look at the event still stops the install.
  if (CancelRequested()) g_setup.installAborted = true;
}

void AppendPatch(const wchar_t* path, const wchar_t* value) {
  g_setup.locations.xmlPatches.push_back(XmlPatch(path, value, true));
}

void CopyContactsDocument() {
  qn::FixedString<MAX_PATH> source;
  qn::FixedString<MAX_PATH> target;
  if (!qn::JoinPath(source.data(), MAX_PATH, g_setup.programFolder, L"contacts.xml") ||
      !qn::JoinPath(target.data(), MAX_PATH, g_setup.localSetupFolder, L"contacts.xml")) {
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

void QueueDescriptorPatches(const wchar_t* descriptorPath) {
  if (g_setup.hasAffiliateSource) {
    AppendPatch(L"/install/affiliate_source", g_setup.affiliateSource);
    AppendPatch(L"/install/UseAffiliateSource", L"1");
  }
  if (g_setup.hasBuyLink) {
    AppendPatch(L"/install/affiliate_buyLink", g_setup.buyLink);
    AppendPatch(L"/install/UseAffiliateBuyLink", L"1");
  }
  if (!g_setup.downloadNewFiles) {
    MarkItemsLocal(descriptorPath);
    AppendPatch(L"/install/DownloadNewFiles", L"0");
  }
}

void DownloadAndHandOff() {
  RunDownloadPhase();
  // Without a local setup folder there is nothing to hand over to.
  if (g_setup.installAborted || g_setup.localSetupFolder[0] == L'\0') {
    RemoveAbortedSetupFolder();
    return;
  }
  qn::FixedString<MAX_PATH> installer;
  qn::FixedString<MAX_PATH> descriptor;
  const wchar_t* descriptorName = g_setup.isWow64 ? L"install_x64.xml" : L"install_x86.xml";
  if (!qn::JoinPath(installer.data(), MAX_PATH, g_setup.localSetupFolder, L"Installer.exe") ||
      !qn::JoinPath(descriptor.data(), MAX_PATH, g_setup.localSetupFolder, descriptorName)) {
    WriteLog(L"[KITFETCHER] Local setup folder path too long: %s", g_setup.localSetupFolder);
    return;
  }
  if (!PathFileExistsW(descriptor)) ShowMessage(NULL, IDS_CANNOT_RUN, MB_OK | MB_ICONERROR);

  QueueDescriptorPatches(descriptor);
  ApplyXmlPatches(descriptor);
  CopyContactsDocument();
  RunProgramAndWait(installer, g_setup.localSetupFolder);
}
