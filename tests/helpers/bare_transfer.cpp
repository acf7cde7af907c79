// The yardsticks of the whole-program benchmark (tests/bench/kit_bench.py):
// one bare URLDownloadToCacheFileW, without a callback, or one bare
// CopyFileExW, each timed in a process of its own.
//   bare_transfer.exe download URL
//   bare_transfer.exe copy SOURCE TARGET
// Prints "seconds=S bytes=N"; exit code 1 when the transfer fails, 2 on usage.
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "common/scoped_handles.h"
#include "tests/helpers/bench_timing.h"

namespace {

int Report(bool ok, const LARGE_INTEGER& start, const LARGE_INTEGER& end, const wchar_t* result) {
  if (!ok) {
    fputs("transfer failed\n", stderr);
    return 1;
  }
  printf("seconds=%.3f bytes=%llu\n", Seconds(start, end), FileSizeBytes(result));
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  LARGE_INTEGER start, end;
  if (argc == 3 && wcscmp(argv[1], L"download") == 0) {
    qn::ScopedCoInit com;
    wchar_t cachePath[520] = {0};
    QueryPerformanceCounter(&start);
    HRESULT hr = URLDownloadToCacheFileW(NULL, argv[2], cachePath, 520, 0, NULL);
    QueryPerformanceCounter(&end);
    int code = Report(hr == S_OK, start, end, cachePath);
    DeleteUrlCacheEntryW(argv[2]);
    return code;
  }
  if (argc == 4 && wcscmp(argv[1], L"copy") == 0) {
    QueryPerformanceCounter(&start);
    BOOL copied = CopyFileExW(argv[2], argv[3], NULL, NULL, NULL, 0);
    QueryPerformanceCounter(&end);
    return Report(copied != FALSE, start, end, argv[3]);
  }
  fputs("usage: bare_transfer.exe download URL | copy SOURCE TARGET\n", stderr);
  return 2;
}
