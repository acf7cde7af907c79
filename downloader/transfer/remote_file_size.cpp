#include "downloader/transfer/remote_file_size.h"

#include <wininet.h>

#include <new>

#include "common/fixed_string.h"
#include "common/owned_text.h"
#include "common/scoped_handles.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/system_libraries.h"
#include "downloader/transfer/network_call.h"

namespace {

const wchar_t kAgent[] = L"VAVurirodi";
// Path and query of a URL; no URL the kit composes comes near it.
const size_t kObjectChars = 2048;

// A WinINet handle, closed through the functions the query was given (the
// query's thread never reaches for the library table itself: see Perform).
class InternetHandle {
 public:
  InternetHandle(const WininetFunctions& wininet, HINTERNET handle) : wininet_(wininet), handle_(handle) {}
  ~InternetHandle() {
    if (handle_) wininet_.closeHandle(handle_);
  }
  HINTERNET Get() const { return handle_; }

 private:
  InternetHandle(const InternetHandle&);
  InternetHandle& operator=(const InternetHandle&);
  const WininetFunctions& wininet_;
  HINTERNET handle_;
};

// 0 when the response is not an HTTP error, else the code that stands for it.
DWORD HttpErrorOf(const WininetFunctions& wininet, HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof(status);
  if (!wininet.httpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL)) return 0;
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
  SizeQuery(const wchar_t* url) : result(ERROR_BAD_ARGUMENTS), size(0), wininet_(Wininet()) { url_.Set(url); }

  DWORD result;
  DWORD size;

 protected:
  void Perform() { result = url_.IsPresent() ? Ask(url_.Get()) : static_cast<DWORD>(ERROR_OUTOFMEMORY); }

 private:
  DWORD Ask(const wchar_t* url) {
    UrlParts parts;
    if (!SplitUrl(wininet_, url, parts)) return GetLastError();
    // Declared parent first, so that the handles close child first.
    InternetHandle root(wininet_, wininet_.open(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0));
    if (!root.Get()) return GetLastError();
    const wchar_t* user = parts.user.Empty() ? NULL : parts.user.c_str();
    const wchar_t* password = parts.password.Empty() ? NULL : parts.password.c_str();
    InternetHandle connection(
        wininet_, wininet_.connect(root.Get(), parts.host, parts.port, user, password, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.Get()) return GetLastError();
    // Only the headers are wanted. A GET would leave its body pending, and
    // closing such a request reads the body to its end (into the cache, or to
    // keep the connection): the whole file would cross the wire once more before
    // its download. A HEAD answer has no body, and nothing of it is cached.
    DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD;
    if (parts.secure) flags |= INTERNET_FLAG_SECURE;
    InternetHandle request(wininet_,
                           wininet_.openRequest(connection.Get(), L"HEAD", parts.object, NULL, NULL, NULL, flags, 0));
    if (!request.Get()) return GetLastError();
    if (!wininet_.sendRequest(request.Get(), NULL, 0, NULL, 0)) return GetLastError();

    DWORD httpError = HttpErrorOf(wininet_, request.Get());
    if (httpError) return httpError;
    DWORD length = 0;
    DWORD lengthSize = sizeof(length);
    if (!wininet_.httpQueryInfo(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length,
                                &lengthSize, NULL)) {
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
  SizeQuery* query = new (std::nothrow) SizeQuery(url);
  if (!query) return ERROR_OUTOFMEMORY;
  DWORD result;
  switch (query->Run(g_setup.cancelEvent.Get(), CurrentNetworkLimits().sizeQuery)) {
    case kCallFinished:
      result = query->result;
      if (result == ERROR_SUCCESS) *size = query->size;
      break;
    case kCallCancelled:
      result = ERROR_CANCELLED;
      break;
    case kCallTimedOut:
      result = ERROR_TIMEOUT;
      break;
    default:
      result = GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
      break;
  }
  query->Release();
  return result;
}
