// The downloader's one process-wide record.
#pragma once
#include <stdio.h>
#include <windows.h>
#include <shobjidl.h>

#include "downloader/services/locations_config.h"
#include "downloader/services/os_version_code.h"
#include "downloader/services/competing_product.h"
#include "downloader/services/transfer_stats.h"

typedef BOOL(WINAPI* Wow64DisableFn)(PVOID*);
typedef BOOL(WINAPI* Wow64RevertFn)(PVOID);

const size_t kPathChars = MAX_PATH;      // 260
const size_t kLongPathChars = 520;       // local setup folder, cache paths, registry texts
const size_t kTimeWordChars = 50;

struct SetupState {
  SetupState();

  HINSTANCE programInstance;
  HMODULE uiLibrary;
  HMODULE resourceModule;
  HANDLE instanceEvent;
  HANDLE cancelEvent;
  CRITICAL_SECTION statsLock;
  bool statsLockReady;

  bool logEnabled;
  wchar_t logPath[kPathChars];
  FILE* logFile;

  Wow64DisableFn disableFsRedirection;
  Wow64RevertFn revertFsRedirection;

  wchar_t programFolder[kPathChars];
  bool isWow64;

  DWORD parentProcessId;
  wchar_t parentProcessPath[kPathChars];
  wchar_t affiliateSource[kPathChars];
  bool hasAffiliateSource;
  wchar_t buyLink[kPathChars];
  bool hasBuyLink;

  wchar_t hourText[kTimeWordChars];
  wchar_t hoursText[kTimeWordChars];
  wchar_t minuteText[kTimeWordChars];
  wchar_t minutesText[kTimeWordChars];
  wchar_t secondText[kTimeWordChars];
  wchar_t secondsText[kTimeWordChars];
  wchar_t longDurationFormat[kTimeWordChars];
  wchar_t shortDurationFormat[kTimeWordChars];

  OsVersion osVersionCode;
  bool downloadNewFiles;
  bool installAborted;
  wchar_t localSetupFolder[kLongPathChars];

  HBRUSH dialogBrush;
  HWND dialogWindow;
  HWND progressBarWindow;
  HWND speedTextWindow;
  HWND timeLeftTextWindow;
  ITaskbarList3* taskbarList;
  // Signalled once the dialog window exists (or will never exist), so that the
  // worker neither ends the dialog nor owns a message box before it is there.
  HANDLE dialogReadyEvent;
  // Whose turn it is to show a box over the dialog: its quit question or one of
  // the worker's messages (downloader/ui/worker_prompts.h).
  volatile LONG promptTurn;

  LocationsConfig locations;
  TransferStats stats;

  CompetingProduct competingProducts[kMaxCompetingProducts];
  size_t competingProductCount;
};

extern SetupState g_setup;

// Puts the record back to its start values (tests; the program runs once).
void ResetSetupState();
