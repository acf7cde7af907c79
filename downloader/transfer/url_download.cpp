#include "downloader/transfer/url_download.h"

#include <string.h>
#include <urlmon.h>
#include <wininet.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "common/wide_format.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/system_libraries.h"
#include "downloader/services/text_ids.h"
#include "downloader/transfer/bind_status_callback.h"
#include "downloader/transfer/worker_run.h"

namespace {

const int kRetriesAfterFirstAttempt = 2;

DWORD CachedFileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!path[0] || !GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  return data.nFileSizeHigh ? 0xFFFFFFFFu : data.nFileSizeLow;
}

// The moniker caches and reports success for whatever the server sent: an error
// page, or a body cut off by a closed connection. Either is a failure here.
HRESULT JudgeResponse(const wchar_t* url, const wchar_t* cachePath, const CBindStatusCallbackImpl& callback) {
  DWORD status = callback.HttpStatus();
  if (status >= 400) {
    WriteLog(L"[KITFETCHER] Server answered %lu for %s", static_cast<unsigned long>(status), url);
    return (status == 404 || status == 410) ? INET_E_OBJECT_NOT_FOUND : INET_E_DOWNLOAD_FAILURE;
  }
  if (callback.HasContentLength()) {
    DWORD delivered = callback.LastProgress();
    DWORD onDisk = CachedFileSize(cachePath);
    if (onDisk > delivered) delivered = onDisk;
    if (delivered < callback.ContentLength()) {
      WriteLog(L"[KITFETCHER] Download of %s ended after %lu of %lu bytes", url,
               static_cast<unsigned long>(delivered), static_cast<unsigned long>(callback.ContentLength()));
      return INET_E_DOWNLOAD_FAILURE;
    }
  }
  return S_OK;
}

// One download into the URL cache through `callback`. A failed download leaves
// no cache entry behind, so that neither a retry nor a later run is answered
// with the same error page or cut-off body from the cache.
HRESULT DownloadToCache(const wchar_t* url, wchar_t* cachePath, size_t capacity, CBindStatusCallbackImpl* callback) {
  memset(cachePath, 0, capacity * sizeof(wchar_t));
  if (!url || !url[0]) return E_INVALIDARG;
  qn::ScopedCoInit com;
  HRESULT hr = Urlmon().downloadToCacheFile(NULL, url, cachePath, static_cast<DWORD>(capacity), 0, callback);
  cachePath[capacity - 1] = L'\0';
  if (hr == S_OK) hr = JudgeResponse(url, cachePath, *callback);
  if (hr != S_OK) {
    if (cachePath[0]) Wininet().deleteUrlCacheEntry(url);
    cachePath[0] = L'\0';
  }
  return hr;
}

}  // namespace

bool ComposeKitUrl(const wchar_t* templ, const wchar_t* const* components, size_t count, wchar_t* url,
                   size_t capacity) {
  if (!url || capacity == 0) return false;
  url[0] = L'\0';
  if (!templ || !templ[0]) return false;
  qn::FixedString<kUrlChars> composed;
  const wchar_t* language[1] = {g_setup.locations.language};
  if (!qn::FormatPlaceholders(composed.data(), kUrlChars, templ, language, 1)) return false;
  for (size_t i = 0; i < count; ++i) {
    const wchar_t* component = components ? components[i] : NULL;
    if (!component) continue;
    if (!composed.EndsWith(L'/') && !composed.AppendChar(L'/')) return false;
    if (!composed.Append(component)) return false;
  }
  return qn::CopyText(url, capacity, composed);
}

bool ComposeFileUrl(const DownloadableFile& file, const wchar_t* leaf, wchar_t* url, size_t capacity) {
  if (url && capacity) url[0] = L'\0';
  if (!leaf) return false;
  const wchar_t* templ = file.baseUrl.IsPresent() ? file.baseUrl.Get() : g_setup.locations.baseUrl.Get();
  const wchar_t* components[2];
  size_t count = 0;
  if (file.relativePath.IsPresent() && file.relativePath.Get()[0]) components[count++] = file.relativePath.Get();
  components[count++] = leaf;
  return ComposeKitUrl(templ, components, count, url, capacity);
}

DownloadOutcome DownloadKitFile(const wchar_t* url, int sizeBytes, wchar_t* cachePath, WorkerHost& host) {
  int retriesLeft = kRetriesAfterFirstAttempt;
  for (;;) {
    CBindStatusCallbackImpl callback(g_setup.cancelEvent.Get());
    WriteLog(L"[KITFETCHER] Downloading: %s (size %d)", url ? url : L"", sizeBytes);
    HRESULT hr = DownloadToCache(url, cachePath, kCachePathChars, &callback);
    if (callback.Cancelled()) {
      WriteLog(L"[KITFETCHER] Download canceled!");
      cachePath[0] = L'\0';
      return kDownloadCancelled;
    }
    if (hr == S_OK) return kDownloaded;

    WriteLog(L"[KITFETCHER] Cannot download file %s. Error :%lu", url ? url : L"", static_cast<unsigned long>(hr));
    host.ReportProgress(kTransferFailing);
    // After a confirmed quit neither box is shown and the download counts as cancelled.
    if (retriesLeft <= 0 || host.Ask(IDS_RETRY_DOWNLOAD, MB_ICONERROR | MB_RETRYCANCEL, NULL) != IDRETRY) {
      host.Tell(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
      if (!CancelRequested()) return kDownloadFailed;
      WriteLog(L"[KITFETCHER] Download canceled!");
      return kDownloadCancelled;
    }
    --retriesLeft;
  }
}

HRESULT DownloadUncounted(const wchar_t* url, wchar_t* cachePath, size_t capacity) {
  if (!cachePath || capacity == 0) return E_INVALIDARG;
  CBindStatusCallbackImpl observer(CBindStatusCallbackImpl::kObserveOnly);
  return DownloadToCache(url, cachePath, capacity, &observer);
}
