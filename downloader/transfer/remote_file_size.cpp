#include "downloader/transfer/remote_file_size.h"

#include <wininet.h>

#include "downloader/system_libraries.h"

namespace {

const wchar_t kAgent[] = L"VAVurirodi";

class ScopedInternetHandle {
 public:
  explicit ScopedInternetHandle(HINTERNET handle) : handle_(handle) {}
  ~ScopedInternetHandle() {
    if (handle_) Wininet().closeHandle(handle_);
  }
  HINTERNET Get() const { return handle_; }

 private:
  ScopedInternetHandle(const ScopedInternetHandle&);
  ScopedInternetHandle& operator=(const ScopedInternetHandle&);
  HINTERNET handle_;
};

// 0 when the response is not an HTTP error, else the code that stands for it.
DWORD HttpErrorOf(HINTERNET request) {
  DWORD status = 0;
  DWORD length = sizeof(status);
  if (!Wininet().httpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL)) return 0;
  if (status < 400) return 0;
  return (status == 404 || status == 410) ? ERROR_FILE_NOT_FOUND : ERROR_BAD_NET_RESP;
}

}  // namespace

DWORD QueryRemoteFileSize(const wchar_t* url, DWORD* size) {
  if (!url || !size) return ERROR_BAD_ARGUMENTS;
  *size = 0;
  // Declared before the URL handle, so that the URL handle closes first.
  ScopedInternetHandle root(Wininet().open(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0));
  if (!root.Get()) return GetLastError();
  ScopedInternetHandle request(Wininet().openUrl(root.Get(), url, NULL, 0, 0, 0));
  if (!request.Get()) return GetLastError();

  DWORD httpError = HttpErrorOf(request.Get());
  if (httpError) return httpError;
  DWORD length = 0;
  DWORD lengthSize = sizeof(length);
  if (!Wininet().httpQueryInfo(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &lengthSize, NULL)) {
    return GetLastError();
  }
  *size = length;
  return ERROR_SUCCESS;
}
