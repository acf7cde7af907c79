// Times two downloads of the same large file through the URL cache: a bare
// URLDownloadToCacheFileW without a callback, and DownloadKitFile with its
// counting, speed-sampling and cancel-polling callback. tests/bench/
// download_bench.sh serves the file and compares the figures with curl's.
//   download_bench.exe URL [ROUNDS]
// Prints each round's times on stderr, then "bare_seconds=S bytes=N" and
// "kit_seconds=S bytes=N counted=N" (the best of ROUNDS rounds, which alternate
// the order of the two); exit code 1 when a download fails.
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <stdio.h>
#include <stdlib.h>
#include <string>

#include "common/scoped_handles.h"
#include "common/wide_format.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/web_fetch.h"
#include "tests/helpers/bench_timing.h"

namespace {

// The same URL with a query of its own, so that the cache never answers.
std::wstring Fresh(const wchar_t* url, const wchar_t* mode, int round) {
  wchar_t text[1024];
  qn::FormatInto(text, 1024, L"%s?bench=%s-%lu-%lu-%d", url, mode, GetCurrentProcessId(), GetTickCount(), round);
  return text;
}

bool Bare(const std::wstring& url, double* seconds, DWORD* bytes) {
  wchar_t cachePath[kCachePathChars] = {0};
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  HRESULT hr = URLDownloadToCacheFileW(NULL, url.c_str(), cachePath, kCachePathChars, 0, NULL);
  QueryPerformanceCounter(&end);
  *seconds = Seconds(start, end);
  *bytes = static_cast<DWORD>(FileSizeBytes(cachePath));
  DeleteUrlCacheEntryW(url.c_str());
  return hr == S_OK;
}

// The benchmark shows nothing: no question is asked, nothing is reported.
class SilentHost : public WorkerHost {
 public:
  void ReportProgress(TransferState) {}
  int Ask(UINT, UINT, const wchar_t*) { return kPromptWithheld; }
  void Tell(UINT, UINT) {}
  void End() {}
};

bool Kit(const std::wstring& url, double* seconds, DWORD* bytes, DWORD* counted) {
  SilentHost host;
  wchar_t cachePath[kCachePathChars] = {0};
  DWORD before = g_setup.stats.bytesTransferred;
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  qn::Result result = DownloadKitFile(url.c_str(), 0, cachePath, host);
  QueryPerformanceCounter(&end);
  *seconds = Seconds(start, end);
  *bytes = result.Succeeded() ? static_cast<DWORD>(FileSizeBytes(cachePath)) : 0;
  EnterCriticalSection(&g_setup.statsLock);
  *counted = g_setup.stats.bytesTransferred - before;
  LeaveCriticalSection(&g_setup.statsLock);
  DeleteUrlCacheEntryW(url.c_str());
  return result.Succeeded();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fputs("usage: download_bench.exe URL [ROUNDS]\n", stderr);
    return 2;
  }
  int rounds = argc > 2 ? _wtoi(argv[2]) : 1;
  if (rounds < 1) rounds = 1;
  qn::ScopedCoInit com;
  InitializeCriticalSection(&g_setup.statsLock);
  g_setup.statsLockReady = true;
  // A real cancel event, so that the per-notification poll is part of the cost.
  g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, FALSE, NULL));

  double bestBare = 0, bestKit = 0;
  DWORD bareBytes = 0, kitBytes = 0, counted = 0;
  for (int round = 0; round < rounds; ++round) {
    // Alternate the order, so that neither way always meets a warm cache folder.
    for (int step = 0; step < 2; ++step) {
      bool bareNow = (step == 0) == (round % 2 == 0);
      double seconds = 0;
      DWORD bytes = 0;
      if (bareNow) {
        if (!Bare(Fresh(argv[1], L"bare", round), &seconds, &bytes)) {
          fputs("bare download failed\n", stderr);
          return 1;
        }
        fprintf(stderr, "round %d bare %.3f s\n", round + 1, seconds);
        if (bestBare == 0 || seconds < bestBare) bestBare = seconds;
        bareBytes = bytes;
      } else {
        if (!Kit(Fresh(argv[1], L"kit", round), &seconds, &bytes, &counted)) {
          fputs("kit download failed\n", stderr);
          return 1;
        }
        fprintf(stderr, "round %d kit  %.3f s\n", round + 1, seconds);
        if (bestKit == 0 || seconds < bestKit) bestKit = seconds;
        kitBytes = bytes;
      }
    }
  }
  printf("bare_seconds=%.3f bytes=%lu\n", bestBare, static_cast<unsigned long>(bareBytes));
  printf("kit_seconds=%.3f bytes=%lu counted=%lu\n", bestKit, static_cast<unsigned long>(kitBytes),
         static_cast<unsigned long>(counted));
  g_setup.cancelEvent.Reset();
  g_setup.statsLockReady = false;
  DeleteCriticalSection(&g_setup.statsLock);
  return 0;
}
