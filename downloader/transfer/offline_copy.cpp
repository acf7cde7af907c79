#include "downloader/transfer/offline_copy.h"

#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/worker_link/worker_host.h"
#include "downloader/transfer/kit_entry.h"
#include "downloader/transfer/kit_manifest.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/transfer/transfer_counters.h"
#include "downloader/transfer/version_tokens.h"
#include "downloader/transfer/download_worker.h"

CCopyFileStatusCallback::CCopyFileStatusCallback(HANDLE cancelEvent) : m_cancelEvent(cancelEvent) {}

DWORD CCopyFileStatusCallback::OnProgress(uint32_t transferred) {
  AddTransferredBytes(transferred - m_lastTransferred);
  m_lastTransferred = transferred;

  if (!m_started) {
    m_startTick = m_lastSampleTick = TransferTicks();
    m_started = 1;
  } else {
    DWORD now = TransferTicks();
    if (SpeedSampleDue(m_lastSampleTick, now)) {
      StoreSpeed(SpeedSampleKBps(transferred, m_startTick, now));
      m_lastSampleTick = now;
    }
  }

  if (IsCancelSignalled(m_cancelEvent)) {
    m_cancelled = 1;
    return PROGRESS_CANCEL;
  }
  return PROGRESS_CONTINUE;
}

DWORD CALLBACK CopyProgressRoutine(LARGE_INTEGER, LARGE_INTEGER totalBytesTransferred, LARGE_INTEGER,
                                   LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE, LPVOID context) {
  if (!context) return PROGRESS_CONTINUE;
  return static_cast<CCopyFileStatusCallback*>(context)->OnProgress(totalBytesTransferred.LowPart);
}

namespace {

DWORD PackageFileSize(const wchar_t* path) {
  qn::ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) {
    WriteLog(L"[KITFETCHER] Cannot open file %s. Error %d", path, static_cast<int>(GetLastError()));
    return 0;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.Get(), &size)) {
    WriteLog(L"[KITFETCHER] Cannot get size for %s. Error %d", path, static_cast<int>(GetLastError()));
    return 0;
  }
  return size.LowPart;
}

void CountExpectedSizes() {
  const DownloadableFileList& files = g_setup.locations.downloadableFiles;
  for (size_t i = 0; i < files.size(); ++i) {
    if (!IsSafeKitEntry(files[i])) continue;
    wchar_t path[kLongPathChars];
    DWORD size = 0;
    if (PackagePath(files[i], files[i].name.Get(), path, kLongPathChars)) size = PackageFileSize(path);
    AddExpectedBytes(size);
  }
}

// One kit file out of the package into its place, run when it is an autorun
// one: S_OK, qn::kCancelled after a quit, or the failure.
qn::Result CopyOneFile(const DownloadableFile& file, const KitGate& gate) {
  const wchar_t* name = file.name.Get();
  WriteLog(L"[KITFETCHER] Current file is %s", name);
  wchar_t localDigest[kDigestChars] = {0};
  wchar_t remoteDigest[kDigestChars] = {0};
  CheckFileUpdate(file, g_setup.programFolder, localDigest, remoteDigest);

  KitEntryPlaces places;
  if (!ResolveKitEntryPlaces(file, &places)) {
    WriteLog(L"[KITFETCHER] Path of %s is too long; not copied", name);
    return qn::Result(qn::kDoesNotFit);
  }
  ManifestLine line;
  if (gate.Pinned() && !gate.PackageLine(file, &line)) return qn::Result(qn::kRefused);
  PrepareEntryCopy(file, places, localDigest, places.packagePath);
  CCopyFileStatusCallback progress(g_setup.cancelEvent.Get());
  if (gate.Pinned()) {
    // Copied by hand to hash what is written; the routine still counts and cancels.
    qn::Result checked = CopyCheckedKitFile(places.packagePath, places.target, line, &progress);
    if (checked) RunAutorunEntry(file, places);
    return checked;
  }
  BOOL neverCancel = FALSE;
  BOOL copied = CopyFileExW(places.packagePath, places.target, CopyProgressRoutine, &progress, &neverCancel, 0);
  // A copy that our routine stopped fails too (ERROR_REQUEST_ABORTED): that is the quit.
  if (progress.m_cancelled == 1) return qn::Result(qn::kCancelled);
  if (!copied) {
    DWORD error = GetLastError();
    LogFailedCopy(places.packagePath, places.target, error);
    return qn::Result::FromWin32(error ? error : ERROR_WRITE_FAULT);
  }
  RunAutorunEntry(file, places);
  return qn::Result::Ok();
}

void EndCancelled(WorkerHost& host) {
  WriteLog(L"[KITFETCHER] Copy canceled!");
  FinishWorkerRun(host, true);
}

}  // namespace

void CopyOfflineKit(const wchar_t* productCode, WorkerHost& host) {
  WriteLog(L"[KITFETCHER] Copying files from offline location");
  if (!PrepareLocalSetupFolder(productCode)) {
    FailWorkerRun(host);
    return;
  }
  // A pinned package takes nothing from its folder that its own signed
  // manifest does not vouch for.
  KitGate gate(g_setup.locations.trust);
  if (gate.Pinned() && !gate.AcceptPackageManifest(productCode)) {
    FailWorkerRun(host);
    return;
  }
  CountExpectedSizes();
  WriteLog(L"[KITFETCHER] Local folder is: %s", g_setup.worker.localSetupFolder);

  const DownloadableFileList& files = g_setup.locations.downloadableFiles;
  for (size_t i = 0; i < files.size(); ++i) {
    // Under Wine the copy never reports progress, so this is also the only place
    // where a quit can stop an offline copy there.
    if (CancelRequested()) {
      EndCancelled(host);
      return;
    }
    if (!HasPlainNames(files[i])) continue;
    qn::Result copied = CopyOneFile(files[i], gate);
    if (copied.Is(qn::kCancelled)) {
      EndCancelled(host);
      return;
    }
    if (!copied) {
      FailWorkerRun(host);
      return;
    }
  }
  // A quit confirmed while the last autorun file ran must still stop the install.
  if (CancelRequested()) {
    EndCancelled(host);
    return;
  }
  FinishWorkerRun(host, false);
}
