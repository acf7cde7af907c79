#include "downloader/transfer/web_fetch.h"

#include <new>
#include <string.h>
#include <urlmon.h>
#include <wininet.h>

#include "common/fixed_string.h"
#include "common/owned_text.h"
#include "common/scoped_handles.h"
#include "common/wide_format.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/system_libraries.h"
#include "downloader/services/text_ids.h"
#include "downloader/transfer/bind_status_callback.h"
#include "downloader/transfer/network_call.h"
#include "downloader/transfer/download_worker.h"

namespace {

constexpr int kRetriesAfterFirstAttempt = 2;

ULONGLONG CachedFileSize(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!path[0] || !GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// What was wrong with an answer that the moniker took for a file.
enum AnswerProblem { kAnswerGood, kAnswerHttpError, kAnswerCut, kAnswerRedirectRefused, kAnswerRedirectLoop };

// One download into the URL cache, on a thread of its own (network_call.h).
// Everything its thread reads and writes lies in here; the worker reads the
// results, and logs them, only after the call has finished.
class CacheDownload : public NetworkCall {
 public:
  CacheDownload(const wchar_t* url, bool counted, HANDLE cancelEvent)
      : url_(url),
        counted_(counted),
        cancelEvent_(cancelEvent),
        download_(Urlmon().downloadToCacheFile),
        forget_(Wininet().deleteUrlCacheEntry) {}

  HRESULT result = E_FAIL;
  bool cancelled = false;
  AnswerProblem problem = kAnswerGood;
  DWORD httpStatus = 0;
  DWORD delivered = 0;
  DWORD announced = 0;
  ULONGLONG cachedBytes = 0;
  wchar_t cachePath[kCachePathChars] = {};

 protected:
  void Perform() override {
    qn::ScopedCoInit com;
    CBindStatusCallbackImpl callback(cancelEvent_, this);
    CBindStatusCallbackImpl observer(CBindStatusCallbackImpl::kObserveOnly, this);
    CBindStatusCallbackImpl& used = counted_ ? callback : observer;
    if (!url_.IsPresent() || !url_.Get()[0]) {
      result = E_INVALIDARG;
      return;
    }
    result = download_(nullptr, url_.Get(), cachePath, kCachePathChars, 0, &used);
    cachePath[kCachePathChars - 1] = L'\0';
    cancelled = used.Cancelled();
    httpStatus = used.HttpStatus();
    delivered = used.LastProgress();
    if (cachePath[0]) cachedBytes = CachedFileSize(cachePath);
    if (result == S_OK || used.RedirectRefused() || used.RedirectLoop()) result = Judge(used);
    // A failed download leaves no cache entry behind, so that neither a retry
    // nor a later run is answered with the same error page or cut-off body.
    if (result != S_OK) {
      if (cachePath[0]) forget_(url_.Get());
      cachePath[0] = L'\0';
    }
  }

 private:
  // The moniker caches and reports success for whatever the server sent: an
  // error page, a body cut off by a closed connection, the empty body of a
  // redirect it did not follow. Each is a failure here.
  HRESULT Judge(const CBindStatusCallbackImpl& callback) {
    if (callback.RedirectRefused() || callback.RedirectLoop()) {
      problem = callback.RedirectLoop() ? kAnswerRedirectLoop : kAnswerRedirectRefused;
      return INET_E_REDIRECT_FAILED;
    }
    if (httpStatus >= 400) {
      problem = kAnswerHttpError;
      return (httpStatus == 404 || httpStatus == 410) ? INET_E_OBJECT_NOT_FOUND : INET_E_DOWNLOAD_FAILURE;
    }
    // A redirect's own answer as the last one means the redirect was not
    // followed over the web (Wine takes a file: target that way); a 304
    // confirms the cached copy.
    if (httpStatus >= 300 && httpStatus != 304) {
      problem = kAnswerRedirectRefused;
      return INET_E_REDIRECT_FAILED;
    }
    if (callback.HasContentLength()) {
      announced = callback.ContentLength();
      if (cachedBytes > delivered) delivered = cachedBytes > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(cachedBytes);
      if (delivered < announced) {
        problem = kAnswerCut;
        return INET_E_DOWNLOAD_FAILURE;
      }
    }
    return S_OK;
  }

  qn::OwnedText url_;
  bool counted_;
  HANDLE cancelEvent_;
  decltype(UrlmonFunctions::downloadToCacheFile) download_;
  decltype(WininetFunctions::deleteUrlCacheEntry) forget_;
};

void LogProblem(const wchar_t* url, const CacheDownload& download) {
  switch (download.problem) {
    case kAnswerHttpError:
      WriteLog(L"[KITFETCHER] Server answered %lu for %s", static_cast<unsigned long>(download.httpStatus), url);
      break;
    case kAnswerCut:
      WriteLog(L"[KITFETCHER] Download of %s ended after %lu of %lu bytes", url,
               static_cast<unsigned long>(download.delivered), static_cast<unsigned long>(download.announced));
      break;
    case kAnswerRedirectRefused:
      WriteLog(L"[KITFETCHER] Download of %s was sent somewhere other than an http or https address; refused", url);
      break;
    case kAnswerRedirectLoop:
      WriteLog(L"[KITFETCHER] Download of %s was redirected more than %lu times; refused", url,
               static_cast<unsigned long>(kMaxRedirects));
      break;
    case kAnswerGood:
      break;
  }
}

// One download through the URL cache within its limits. S_OK with cachePath
// holding the cached copy and *cachedBytes its size; qn::kCancelled after a
// quit (a counted download's), otherwise the failure.
qn::Result DownloadToCache(const wchar_t* url, bool counted, const CallLimits& limits, wchar_t* cachePath,
                           size_t capacity, ULONGLONG* cachedBytes) {
  *cachedBytes = 0;
  memset(cachePath, 0, capacity * sizeof(wchar_t));
  if (!url || !url[0]) return qn::Result(E_INVALIDARG);
  HANDLE cancelEvent = g_setup.cancelEvent.Get();
  auto* download = new (std::nothrow) CacheDownload(url, counted, cancelEvent);
  if (!download) return qn::Result(qn::kNoMemory);
  qn::Result result = download->Run(cancelEvent, limits);
  if (result.Succeeded()) {
    LogProblem(url, *download);
    result = qn::Result(download->cancelled ? qn::kCancelled : download->result);
    if (result && !qn::CopyText(cachePath, capacity, download->cachePath)) result = qn::Result(qn::kDoesNotFit);
    *cachedBytes = download->cachedBytes;
  } else if (result.Is(qn::kCancelled)) {
    WriteLog(L"[KITFETCHER] Download of %s left unfinished after the quit", url);
    if (!counted) result = qn::Result(E_ABORT);
  } else if (result.Is(qn::kTimedOut)) {
    WriteLog(L"[KITFETCHER] Download of %s gave up: the server sent nothing for too long", url);
  } else {
    result = LogFailure(result, L"[KITFETCHER] Cannot start the download of %s", url);
  }
  download->Release();
  return result;
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
    const wchar_t* component = components ? components[i] : nullptr;
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

qn::Result DownloadKitFile(const wchar_t* url, int sizeBytes, wchar_t* cachePath, WorkerHost& host, bool sizeKnown) {
  int retriesLeft = kRetriesAfterFirstAttempt;
  for (;;) {
    WriteLog(L"[KITFETCHER] Downloading: %s (size %d)", url ? url : L"", sizeBytes);
    ULONGLONG cachedBytes = 0;
    qn::Result result =
        DownloadToCache(url, true, CurrentNetworkLimits().kitFile, cachePath, kCachePathChars, &cachedBytes);
    if (result.Is(qn::kCancelled)) {
      WriteLog(L"[KITFETCHER] Download canceled!");
      cachePath[0] = L'\0';
      return result;
    }
    // Without a length of its own (a chunked body), a cut answer looks whole:
    // the size the server gave before is what it must match.
    if (result && sizeKnown && cachedBytes != static_cast<DWORD>(sizeBytes)) {
      WriteLog(L"[KITFETCHER] Download of %s brought %I64u bytes; the server announced %lu", url, cachedBytes,
               static_cast<unsigned long>(static_cast<DWORD>(sizeBytes)));
      Wininet().deleteUrlCacheEntry(url);
      cachePath[0] = L'\0';
      result = qn::Result(INET_E_DOWNLOAD_FAILURE);
    }
    if (result) return result;

    WriteLog(L"[KITFETCHER] Cannot download file %s. Error :%lu", url ? url : L"",
             static_cast<unsigned long>(result.Code()));
    host.ReportProgress(kTransferFailing);
    // After a confirmed quit neither box is shown and the download counts as cancelled.
    if (retriesLeft <= 0 || host.Ask(IDS_RETRY_DOWNLOAD, MB_ICONERROR | MB_RETRYCANCEL, nullptr) != IDRETRY) {
      host.Tell(IDS_DOWNLOAD_FAILED, MB_ICONERROR);
      if (!CancelRequested()) return result;
      WriteLog(L"[KITFETCHER] Download canceled!");
      return qn::Result(qn::kCancelled);
    }
    --retriesLeft;
  }
}

qn::Result DownloadUncounted(const wchar_t* url, wchar_t* cachePath, size_t capacity) {
  if (!cachePath || capacity == 0) return qn::Result(E_INVALIDARG);
  ULONGLONG cachedBytes = 0;
  return DownloadToCache(url, false, CurrentNetworkLimits().smallFile, cachePath, capacity, &cachedBytes);
}

namespace {

const wchar_t kAgent[] = L"VAVurirodi";
// Path and query of a URL; no URL the kit composes comes near it.
constexpr size_t kObjectChars = 2048;

// A WinINet handle, closed through the functions the query was given (the
// query's thread never reaches for the library table itself: see Perform).
class InternetHandle {
 public:
  InternetHandle(const WininetFunctions& wininet, HINTERNET handle) : wininet_(wininet), handle_(handle) {}
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  ~InternetHandle() {
    if (handle_) wininet_.closeHandle(handle_);
  }
  HINTERNET Get() const { return handle_; }

 private:
  const WininetFunctions& wininet_;
  HINTERNET handle_;
};

// 0 when the response is not an HTTP error, else the code that stands for it.
DWORD HttpErrorOf(const WininetFunctions& wininet, HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof(status);
  if (!wininet.httpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr))
    return 0;
  if (status < 400) return 0;
  return (status == 404 || status == 410) ? ERROR_FILE_NOT_FOUND : ERROR_BAD_NET_RESP;
}

// What a request needs of a URL: server, credentials, and path with query.
struct UrlParts {
  qn::FixedString<INTERNET_MAX_HOST_NAME_LENGTH> host;
  qn::FixedString<INTERNET_MAX_USER_NAME_LENGTH> user;
  qn::FixedString<INTERNET_MAX_PASSWORD_LENGTH> password;
  qn::FixedString<kObjectChars> object;
  INTERNET_PORT port;
  bool secure;
};

// False, with the error set, for a URL that is not HTTP or HTTPS or whose parts
// do not fit.
bool SplitUrl(const WininetFunctions& wininet, const wchar_t* url, UrlParts& parts) {
  qn::FixedString<kObjectChars> path;
  qn::FixedString<kObjectChars> extra;
  URL_COMPONENTSW components;
  ZeroMemory(&components, sizeof(components));
  components.dwStructSize = sizeof(components);
  components.lpszHostName = parts.host.data();
  components.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH;
  components.lpszUserName = parts.user.data();
  components.dwUserNameLength = INTERNET_MAX_USER_NAME_LENGTH;
  components.lpszPassword = parts.password.data();
  components.dwPasswordLength = INTERNET_MAX_PASSWORD_LENGTH;
  components.lpszUrlPath = path.data();
  components.dwUrlPathLength = kObjectChars;
  components.lpszExtraInfo = extra.data();
  components.dwExtraInfoLength = kObjectChars;
  if (!wininet.crackUrl(url, 0, 0, &components)) return false;
  if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return false;
  }
  parts.port = components.nPort;
  parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  // A fragment never goes to the server.
  wchar_t* fragment = wcschr(extra.data(), L'#');
  if (fragment) *fragment = L'\0';
  if (!parts.object.Assign(path.Empty() ? L"/" : path.c_str()) || !parts.object.Append(extra)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  return true;
}

// The HEAD request, on a thread of its own (network_call.h): a server may
// hold its headers back, drip them or send them without end.
class SizeQuery : public NetworkCall {
 public:
  explicit SizeQuery(const wchar_t* url) : wininet_(Wininet()) { url_.Set(url); }

  DWORD result = ERROR_BAD_ARGUMENTS;
  DWORD size = 0;

 protected:
  void Perform() override { result = url_.IsPresent() ? Ask(url_.Get()) : static_cast<DWORD>(ERROR_OUTOFMEMORY); }

 private:
  DWORD Ask(const wchar_t* url) {
    UrlParts parts;
    if (!SplitUrl(wininet_, url, parts)) return GetLastError();
    // Declared parent first, so that the handles close child first.
    InternetHandle root(wininet_, wininet_.open(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!root.Get()) return GetLastError();
    const wchar_t* user = parts.user.Empty() ? nullptr : parts.user.c_str();
    const wchar_t* password = parts.password.Empty() ? nullptr : parts.password.c_str();
    InternetHandle connection(
        wininet_, wininet_.connect(root.Get(), parts.host, parts.port, user, password, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.Get()) return GetLastError();
    // Only the headers are wanted. A GET would leave its body pending, and
    // closing such a request reads the body to its end (into the cache, or to
    // keep the connection): the whole file would cross the wire once more before
    // its download. A HEAD answer has no body, and nothing of it is cached.
    DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD;
    if (parts.secure) flags |= INTERNET_FLAG_SECURE;
    InternetHandle request(
        wininet_, wininet_.openRequest(connection.Get(), L"HEAD", parts.object, nullptr, nullptr, nullptr, flags, 0));
    if (!request.Get()) return GetLastError();
    if (!wininet_.sendRequest(request.Get(), nullptr, 0, nullptr, 0)) return GetLastError();

    DWORD httpError = HttpErrorOf(wininet_, request.Get());
    if (httpError) return httpError;
    DWORD length = 0;
    DWORD lengthSize = sizeof(length);
    if (!wininet_.httpQueryInfo(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                                &lengthSize, nullptr)) {
      return GetLastError();
    }
    size = length;
    return ERROR_SUCCESS;
  }

  qn::OwnedText url_;
  const WininetFunctions& wininet_;
};

}  // namespace

DWORD QueryRemoteFileSize(const wchar_t* url, DWORD* size) {
  if (!url || !size) return ERROR_BAD_ARGUMENTS;
  *size = 0;
  auto* query = new (std::nothrow) SizeQuery(url);
  if (!query) return ERROR_OUTOFMEMORY;
  // The query answers in Win32 error codes, as its callers and tests read them.
  qn::Result ran = query->Run(g_setup.cancelEvent.Get(), CurrentNetworkLimits().sizeQuery);
  DWORD result = ran ? query->result : ran.Win32Error();
  if (ran && result == ERROR_SUCCESS) *size = query->size;
  query->Release();
  return result;
}
