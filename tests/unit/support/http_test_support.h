// The kit test HTTP server that tests/support/with_http_server.sh starts (its
// port and served folder come in environment variables). A test program whose
// source calls REQUIRE_HTTP_SERVER() is labelled "http" and run inside that
// script (tests/CMakeLists.txt); run by hand, such cases are skipped.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <stdlib.h>
#include <string>

#include "common/wide_format.h"
#include "tests/unit/support/scratch_files.h"

namespace kittest {

inline std::wstring Env(const wchar_t* name) {
  wchar_t value[1024];
  DWORD n = GetEnvironmentVariableW(name, value, 1024);
  if (n == 0 || n >= 1024) return std::wstring();
  return std::wstring(value, n);
}

inline int ServerPort() { return _wtoi(Env(L"KIT_TEST_HTTP_PORT").c_str()); }

// The served folder as this Windows process sees it.
inline std::wstring ServerRoot() {
  std::wstring root = Env(L"KIT_TEST_HTTP_ROOT_WIN");
  if (root.empty()) {
    root = Env(L"KIT_TEST_HTTP_ROOT");
    if (root.empty()) return root;
    for (size_t i = 0; i < root.size(); ++i) {
      if (root[i] == L'/') root[i] = L'\\';
    }
    root = L"Z:" + root;
  }
  return root;
}

#define REQUIRE_HTTP_SERVER()                                                         \
  do {                                                                                \
    if (kittest::ServerPort() == 0) GTEST_SKIP() << "run through with_http_server.sh"; \
  } while (0)

inline std::wstring Url(const std::wstring& path) {
  wchar_t url[1024];
  qn::FormatInto(url, 1024, L"http://127.0.0.1:%d%s", ServerPort(), path.c_str());
  return url;
}

// Puts a file on the server: urlPath "/a/b.txt" lands at root\a\b.txt.
inline bool Serve(const std::wstring& urlPath, const std::string& bytes) {
  std::wstring local = ServerRoot() + urlPath;
  for (size_t i = 0; i < local.size(); ++i) {
    if (local[i] == L'/') local[i] = L'\\';
  }
  return kittest::WriteBytes(local, bytes);
}

inline std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return bytes;
}

// A control request past the cache; the body as text.
inline std::string Control(const std::wstring& pathAndQuery) {
  std::string body;
  HINTERNET root = InternetOpenW(L"kit-test", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
  if (!root) return body;
  HINTERNET request = InternetOpenUrlW(root, Url(pathAndQuery).c_str(), NULL, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (request) {
    char buf[256];
    DWORD n = 0;
    while (InternetReadFile(request, buf, sizeof(buf), &n) && n > 0) body.append(buf, n);
    InternetCloseHandle(request);
  }
  InternetCloseHandle(root);
  return body;
}

// How many requests the server saw for a URL path (query strings aside).
inline int RequestCount(const std::wstring& urlPath) {
  return atoi(Control(L"/__requests?path=" + urlPath).c_str());
}

// Makes the server misbehave for a URL path, e.g. SetRule(path, L"status=404").
inline bool SetRule(const std::wstring& urlPath, const std::wstring& rule) {
  return Control(L"/__rule?path=" + urlPath + L"&" + rule) == "ok";
}

}  // namespace kittest
