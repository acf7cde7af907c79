// The downloader's one process-wide record. Each group of fields has one
// writer, named above it; everyone else only reads. The download worker runs
// between the start-up sequence and the hand-off: it writes only its result
// record and the transfer counters.
#pragma once
#include <stdio.h>
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "common/scoped_handles.h"
#include "downloader/services/locations_config.h"
#include "downloader/services/machine_probes.h"

using Wow64DisableFn = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFn = BOOL(WINAPI*)(PVOID);

constexpr size_t kPathChars = MAX_PATH;      // 260
constexpr size_t kLongPathChars = 520;       // local setup folder, cache paths, registry texts
constexpr size_t kTimeWordChars = 50;

// One competing product as the competitor flow offers it (fields of 520
// characters, at most 519 of text).
constexpr size_t kCompetingTextChars = 520;
constexpr size_t kMaxCompetingProducts = 5;

struct CompetingProduct {
  wchar_t displayName[kCompetingTextChars];
  wchar_t uninstallString[kCompetingTextChars];
  wchar_t productKey[kCompetingTextChars];
};

// Counters that the transfer callbacks feed and the progress dialog shows; every
// access holds SetupState::statsLock.
struct TransferStats {
  uint32_t bytesTransferred = 0;
  int32_t bytesExpected = 0;
  double speedKBps = 0.0;
};

// What the download worker leaves behind. Written by the worker thread only;
// the main thread reads it after joining the worker.
struct WorkerResult {
  // Quit, refused or failed: nothing is handed over.
  bool aborted = false;
  // The answer to "download newer files" (or the kit's default answer).
  bool downloadNewFiles = true;
  // Where the kit was placed; empty when no folder could be resolved.
  wchar_t localSetupFolder[kLongPathChars] = {};
};

struct SetupState {
  SetupState();

  // The start-up sequence, before the worker starts (the teardown releases the
  // owners at the end).
  HINSTANCE programInstance = nullptr;
  qn::ScopedLibrary uiLibrary;
  HMODULE resourceModule = nullptr;
  qn::ScopedHandle instanceEvent;
  CRITICAL_SECTION statsLock;
  bool statsLockReady = false;

  bool logEnabled = false;
  wchar_t logPath[kPathChars];
  qn::ScopedStream logFile;

  Wow64DisableFn disableFsRedirection = nullptr;
  Wow64RevertFn revertFsRedirection = nullptr;

  wchar_t programFolder[kPathChars];
  bool isWow64 = false;

  DWORD parentProcessId = 0;
  wchar_t parentProcessPath[kPathChars];
  wchar_t affiliateSource[kPathChars];
  bool hasAffiliateSource = false;
  wchar_t buyLink[kPathChars];
  bool hasBuyLink = false;

  wchar_t hourText[kTimeWordChars];
  wchar_t hoursText[kTimeWordChars];
  wchar_t minuteText[kTimeWordChars];
  wchar_t minutesText[kTimeWordChars];
  wchar_t secondText[kTimeWordChars];
  wchar_t secondsText[kTimeWordChars];
  wchar_t longDurationFormat[kTimeWordChars];
  wchar_t shortDurationFormat[kTimeWordChars];

  OsVersion osVersionCode = kOsUnsupported;
  LocationsConfig locations;

  // The competitor flow, before the worker starts.
  CompetingProduct competingProducts[kMaxCompetingProducts];
  size_t competingProductCount = 0;

  // The hand-off makes the cancel event once, before the worker and the dialog
  // exist; from then on the dialog sets it and the worker reads it.
  qn::ScopedHandle cancelEvent;

  // The worker's transfer callbacks, under statsLock; the dialog's timer reads them.
  TransferStats stats;

  // The worker.
  WorkerResult worker;
};

extern SetupState g_setup;

// Puts the record back to its start values (tests; the program runs once).
void ResetSetupState();
