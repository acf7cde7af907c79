#include "downloader/transfer/download_worker.h"

#include <msi.h>
#include <shlwapi.h>
#include <windows.h>

#include "common/fixed_string.h"
#include "common/growable_array.h"
#include "common/scoped_handles.h"
#include "common/fatal_error.h"
#include "downloader/worker_link/worker_host.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/system_libraries.h"
#include "downloader/services/text_ids.h"
#include "downloader/transfer/kit_entry.h"
#include "downloader/transfer/kit_manifest.h"
#include "downloader/transfer/offline_copy.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/transfer/transfer_counters.h"
#include "downloader/transfer/version_tokens.h"
#include "downloader/transfer/web_fetch.h"

namespace {

// Where the update path may take files from. An online package (no
// productcode.txt beside the program) was shipped without kit files: anything
// under a kit file's name in its folder was put there by someone else, a web
// page's download among them, and is never taken.
struct UpdateSources {
  bool offlinePackage;
  KitGate& gate;
};

// An autorun entry to download, with the size the server gave for it.
struct PlannedDownload {
  const DownloadableFile* file;
  int sizeBytes;
  bool sizeKnown;  // the server answered the size query
};

// False when the user does not want to install over an installed product.
bool ConfirmReinstall(const wchar_t* productCode, WorkerHost& host) {
  if (productCode[0] == L'\0') return true;
  INSTALLSTATE state = Msi().queryProductState(productCode);
  WriteLog(L"[KITFETCHER] Product %s installstate: %d", productCode, static_cast<int>(state));
  if (!InstallStateAsksReinstall(state)) return true;
  int answer = host.Ask(IDS_ALREADY_INSTALLED, MB_ICONQUESTION | MB_YESNO, nullptr);
  return answer != IDNO && answer != kPromptWithheld;
}

void EndDownloadCancelled(WorkerHost& host) {
  WriteLog(L"[KITFETCHER] Download canceled!");
  FinishWorkerRun(host, true);
}

// Entries without autorun are not downloaded; when an offline package carries
// one with its .md5, both go to the top of the local setup folder. The failure
// when a copy failed.
qn::Result PlaceTopLevelPackageFile(const DownloadableFile& file, const UpdateSources& sources) {
  WriteLog(L"[SETUPINFORMATION] File %s will not be downloaded.", file.name.Get());
  if (!sources.offlinePackage) return qn::Result::Ok();
  wchar_t packageFile[kLongPathChars];
  wchar_t packageDigest[kLongPathChars];
  wchar_t targetFile[kLongPathChars];
  wchar_t targetDigest[kLongPathChars];
  if (!JoinStoredName(packageFile, kLongPathChars, g_setup.programFolder, file.name.Get()) ||
      !JoinStoredName(packageDigest, kLongPathChars, g_setup.programFolder, file.md5Name.Get()) ||
      !JoinStoredName(targetFile, kLongPathChars, g_setup.worker.localSetupFolder, file.name.Get()) ||
      !JoinStoredName(targetDigest, kLongPathChars, g_setup.worker.localSetupFolder, file.md5Name.Get()))
    return qn::Result::Ok();
  if (!PathFileExistsW(packageFile) || !PathFileExistsW(packageDigest)) return qn::Result::Ok();
  WriteLog(L"[KITFETCHER] File %s exists. Copying it and its md5 to the destination folder.", packageFile);
  RecordPlacedFile(targetFile);
  ManifestLine line;
  bool listed = sources.gate.Pinned() && sources.gate.PackageLine(file, &line);
  qn::Result placed = PlaceThroughGate(sources.gate, listed ? &line : nullptr, packageFile, targetFile);
  if (!placed) return placed;
  RecordPlacedFile(targetDigest);
  return CopyKitFile(packageDigest, targetDigest);
}

// Sizes the autorun entries (the ones to download) and lists copies of them;
// places the others. The failure when one of those could not be placed.
qn::Result PlanDownloads(const UpdateSources& sources, qn::Array<PlannedDownload>* downloads) {
  const DownloadableFileList& files = g_setup.locations.downloadableFiles;
  for (size_t i = 0; i < files.size(); ++i) {
    const DownloadableFile& file = files[i];
    if (!IsSafeKitEntry(file)) continue;
    if (!file.autorun) {
      qn::Result placed = PlaceTopLevelPackageFile(file, sources);
      if (!placed) return placed;
      continue;
    }
    // After a quit nothing more is asked of the server; the loop ends the run.
    if (CancelRequested()) return qn::Result::Ok();
    wchar_t url[kUrlChars];
    DWORD size = 0;
    bool known = ComposeFileUrl(file, file.name.Get(), url, kUrlChars) && QueryRemoteFileSize(url, &size) == 0;
    AddExpectedBytes(size);
    PlannedDownload planned = {&file, static_cast<int>(size), known};
    if (!downloads->push_back(planned)) qn::FatalError(L"PlanDownloads: out of memory");
  }
  return qn::Result::Ok();
}

// One planned file, downloaded or taken from an offline package, placed and
// run: S_OK, qn::kCancelled after a quit (logged), or a failure the user has
// been told of.
qn::Result FetchAndPlace(const PlannedDownload& planned, const UpdateSources& sources, WorkerHost& host) {
  const DownloadableFile& file = *planned.file;
  const wchar_t* name = file.name.Get();
  wchar_t localDigest[kDigestChars] = {0};
  wchar_t remoteDigest[kDigestChars] = {0};
  int update = CheckFileUpdate(file, g_setup.programFolder, localDigest, remoteDigest);

  KitEntryPlaces places;
  if (!ResolveKitEntryPlaces(file, &places)) {
    WriteLog(L"[KITFETCHER] Path of %s is too long", name);
    host.Tell(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
    return qn::Result(qn::kDoesNotFit);
  }

  wchar_t cachePath[kCachePathChars] = {0};
  const wchar_t* source = places.packagePath;
  bool fromPackage = sources.offlinePackage && update == 0 && PathFileExistsW(places.packagePath);
  if (!fromPackage) {
    wchar_t url[kUrlChars];
    if (!ComposeFileUrl(file, name, url, kUrlChars)) {
      WriteLog(L"[KITFETCHER] No URL for %s", name);
      host.Tell(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
      return qn::Result(qn::kDoesNotFit);
    }
    qn::Result downloaded = DownloadKitFile(url, planned.sizeBytes, cachePath, host, planned.sizeKnown);
    if (!downloaded) return downloaded;
    source = cachePath;
  }

  ManifestLine line;
  bool listed = sources.gate.Pinned() &&
                (fromPackage ? sources.gate.PackageLine(file, &line) : sources.gate.ServerLine(file, &line));
  PrepareEntryCopy(file, places, remoteDigest, source);
  qn::Result placed = PlaceThroughGate(sources.gate, listed ? &line : nullptr, source, places.target);
  if (!placed) {
    host.Tell(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
    return placed;
  }
  RunAutorunEntry(file, places);
  return placed;
}

void RunUpdatePath(const wchar_t* remoteCode, const wchar_t* localCode, bool offlinePackage, WorkerHost& host) {
  WriteLog(L"[KITFETCHER] Using update; downloading the files");
  WriteLog(L"[KITFETCHER] The product code is: %s", remoteCode);
  if (!ConfirmReinstall(remoteCode, host)) {
    FinishWorkerRun(host, true);
    return;
  }
  if (!PrepareLocalSetupFolder(remoteCode)) {
    FailWorkerRun(host);
    return;
  }
  // A pinned package checks what it will place against the vendor's manifests
  // before it places anything: the server's, and the package's own when the
  // package holds a kit it may take files from.
  KitGate gate(g_setup.locations.trust);
  if (gate.Pinned() &&
      (!gate.AcceptServerManifest(remoteCode) || (offlinePackage && !gate.AcceptPackageManifest(localCode)))) {
    FailWorkerRun(host);
    return;
  }
  UpdateSources sources = {offlinePackage, gate};
  qn::Array<PlannedDownload> downloads;
  if (!PlanDownloads(sources, &downloads)) {
    FailWorkerRun(host);
    return;
  }
  host.ReportProgress(kTransferRunning);

  for (size_t i = 0; i < downloads.size(); ++i) {
    // A quit during a plain copy or an autorun program is seen here at the latest.
    if (CancelRequested()) {
      EndDownloadCancelled(host);
      return;
    }
    // A cancelled download has logged itself; a failed one has told the user.
    if (!FetchAndPlace(downloads[i], sources, host)) {
      FinishWorkerRun(host, true);
      return;
    }
  }
  if (CancelRequested()) {
    EndDownloadCancelled(host);
    return;
  }
  FinishWorkerRun(host, false);
}

void RunCopyPath(const wchar_t* localCode, bool offlinePackage, WorkerHost& host) {
  WriteLog(L"[KITFETCHER] Not using update. The files should be copied");
  WriteLog(L"[KITFETCHER] The product code is: %s", localCode);
  // An online package holds no kit (see UpdateSources): nothing in its folder is taken.
  if (!offlinePackage) {
    WriteLog(L"[KITFETCHER] An online package holds no kit to copy");
    FailWorkerRun(host);
    return;
  }
  if (!ConfirmReinstall(localCode, host)) {
    FinishWorkerRun(host, true);
    return;
  }
  WriteLog(L"[KITFETCHER] Not using update; copying all the files locally");
  CopyOfflineKit(localCode, host);
}

}  // namespace

DWORD WINAPI DownloadWorker(LPVOID hostParameter) {
  WorkerHost& host = *static_cast<WorkerHost*>(hostParameter);
  qn::ScopedCoInit com;
  ResetSetupFolderRecord();

  // Both readers leave the code empty unless they found one that can name the
  // local setup folder, which an abort may remove whole.
  wchar_t localCode[kProductCodeChars] = {0};
  bool localFound = ReadLocalProductCode(localCode) == 0;
  WriteLog(L"[KITFETCHER] Local product code is %s", localCode);
  // A quit confirmed meanwhile asks nothing more of the user: no prompt, no message.
  if (CancelRequested()) {
    EndDownloadCancelled(host);
    return 0;
  }
  if (localFound) {
    if (g_setup.locations.showNewFilesPrompt) {
      if (host.Ask(IDS_DOWNLOAD_NEWER_FILES, MB_ICONQUESTION | MB_YESNO, g_setup.locations.manufacturerName) != IDYES)
        g_setup.worker.downloadNewFiles = false;
    } else {
      g_setup.worker.downloadNewFiles = g_setup.locations.defaultNewFilesAnswer;
    }
  }

  wchar_t remoteCode[kProductCodeChars] = {0};
  bool remoteFound = FetchRemoteProductCode(remoteCode) == 0;
  WriteLog(L"[KITFETCHER] Remote product code is %s", remoteCode);
  if (CancelRequested()) {
    EndDownloadCancelled(host);
    return 0;
  }

  if (!localFound && !remoteFound) {
    host.Tell(IDS_NEEDS_CONNECTION, MB_ICONERROR);
    FinishWorkerRun(host, true);
    return 0;
  }
  if (localFound && !remoteFound) WriteLog(L"[KITFETCHER] No remote product code => this is an offline package");
  if (remoteCode[0] != L'\0' && g_setup.worker.downloadNewFiles)
    RunUpdatePath(remoteCode, localCode, localFound, host);
  else
    RunCopyPath(localCode, localFound, host);
  return 0;
}

bool CancelRequested() { return IsCancelSignalled(g_setup.cancelEvent.Get()); }

void FinishWorkerRun(WorkerHost& host, bool aborted) {
  g_setup.worker.aborted = aborted;
  host.End();
}

void FailWorkerRun(WorkerHost& host) {
  host.Tell(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
  FinishWorkerRun(host, true);
}

bool InstallStateAsksReinstall(INSTALLSTATE state) {
  return state != INSTALLSTATE_UNKNOWN && state != INSTALLSTATE_ADVERTISED && state != INSTALLSTATE_INVALIDARG;
}
