#include "downloader/startup_sequence.h"

#include <shlwapi.h>
#include <string.h>

#include "common/fixed_string.h"
#include "common/option_map.h"
#include "common/process_platform.h"
#include "downloader/competitor_flow.h"
#include "downloader/config/install_descriptor.h"
#include "downloader/config/locations_reader.h"
#include "downloader/hand_off.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/machine_probes.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/registry_services.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/services/texts.h"
#include "downloader/start_over.h"

const wchar_t kInstanceEventName[] = L"{EC334E67-69A5-4D22-96CE-3371DE19DC3A}";

namespace {

void LoadResourceLibrary() {
  wchar_t path[MAX_PATH];
  if (g_setup.programFolder[0] && qn::CopyText(path, MAX_PATH, g_setup.programFolder) &&
      qn::AppendText(path, MAX_PATH, L"kitfetcher.ui")) {
    g_setup.uiLibrary.Reset(qn::LoadResourcesOnly(path));
  }
  g_setup.resourceModule = g_setup.uiLibrary.Valid() ? g_setup.uiLibrary.Get() : g_setup.programInstance;
}

// False when another instance owns the run (it has been told and released).
bool ClaimSingleInstance() {
  qn::FixedString<100> name;
  if (!name.Format(L"Local\\%s", kInstanceEventName)) return true;  // no guard, but the run goes on
  g_setup.instanceEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  if (!g_setup.instanceEvent.Valid()) return true;  // no guard, but the run goes on
  if (WaitForSingleObject(g_setup.instanceEvent.Get(), 0) == WAIT_OBJECT_0) {
    LoadedText caption = LoadText(IDS_ERROR_CAPTION);
    LoadedText text = LoadText(IDS_ALREADY_RUNNING);
    MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONERROR);
    g_setup.instanceEvent.Reset();
    g_setup.uiLibrary.Reset();
    return false;
  }
  SetEvent(g_setup.instanceEvent.Get());
  return true;
}

void LookUpPlatformFunctions() {
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  if (!kernel) return;
  g_setup.disableFsRedirection =
      reinterpret_cast<Wow64DisableFn>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection"));
  g_setup.revertFsRedirection =
      reinterpret_cast<Wow64RevertFn>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection"));
  g_setup.isWow64 = qn::RunsUnderWow64();
}

void LoadTimeWords() {
  struct Word {
    UINT id;
    wchar_t* target;
  } words[] = {
      {IDS_HOUR, g_setup.hourText},           {IDS_HOURS, g_setup.hoursText},
      {IDS_MINUTE, g_setup.minuteText},       {IDS_MINUTES, g_setup.minutesText},
      {IDS_SECOND, g_setup.secondText},       {IDS_SECONDS, g_setup.secondsText},
      {IDS_LONG_DURATION, g_setup.longDurationFormat}, {IDS_SHORT_DURATION, g_setup.shortDurationFormat},
  };
  for (const Word& word : words) {
    LoadedText text = LoadText(word.id);
    // A word too long for its slot would be cut mid-word; leave it empty instead.
    if (!qn::CopyText(word.target, kTimeWordChars, text)) word.target[0] = L'\0';
  }
}

// `startedOver`: this is the copy a first instance started from a fresh folder.
void Prepare(const qn::OptionMap& options, bool startedOver) {
  SwitchLogOn(options);
  InitializeCriticalSection(&g_setup.statsLock);
  g_setup.statsLockReady = true;
  LookUpPlatformFunctions();
  wchar_t own[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, own, MAX_PATH);
  if (startedOver && n > 0 && n < MAX_PATH && PathRemoveFileSpecW(own)) {
    WriteLog(L"[KITFETCHER] Running from %s\\ for the package in %s", own, g_setup.programFolder);
  }
  g_setup.parentProcessId = FindParentProcess(startedOver);
  WriteLog(L"[KITFETCHER] Parent process name: %s with pid %d", g_setup.parentProcessPath,
           static_cast<int>(g_setup.parentProcessId));
  g_setup.hasAffiliateSource =
      ExtractAffiliateSource(g_setup.parentProcessPath, g_setup.affiliateSource, kPathChars);
  BuildBuyLink();
  LoadTimeWords();
  wchar_t locations[MAX_PATH];
  if (qn::CopyText(locations, MAX_PATH, g_setup.programFolder) &&
      qn::AppendText(locations, MAX_PATH, L"locations.xml")) {
    // Whatever the document does not give keeps its default.
    static_cast<void>(ReadLocations(locations));
  }
}

// False when the machine is refused (the user has been told).
bool PassGates() {
  g_setup.osVersionCode = GetOsVersionCode();
  WriteLog(L"[SETUP] OS Version (0 - unknown, 1 - XP, 2 - VISTA no sp, 3 - VISTA with sp, 4 - Win 7): %d",
           static_cast<int>(g_setup.osVersionCode));
  if (g_setup.osVersionCode == kOsUnsupported || g_setup.osVersionCode == kOsVistaNoServicePack) {
    ShowFormattedMessage(nullptr, IDS_UNSUPPORTED_OS, 1024, MB_OK | MB_ICONERROR,
                         g_setup.locations.defaultProductName);
    return false;
  }
  if (!IsUserAdministrator()) {
    ShowMessage(nullptr, IDS_NEEDS_ADMIN, MB_OK | MB_ICONERROR);
    return false;
  }
  return CheckSystemRequirements();
}

}  // namespace

bool ExtractAffiliateSource(const wchar_t* parentPath, wchar_t* source, size_t capacity) {
  wchar_t copy[MAX_PATH];
  if (!parentPath || !qn::CopyText(copy, MAX_PATH, parentPath)) return false;
  const wchar_t* name = PathFindFileNameW(copy);
  const wchar_t* open = wcschr(name, L'[');
  if (!open) return false;
  const wchar_t* close = wcschr(open + 1, L']');
  if (!close) return false;
  size_t len = static_cast<size_t>(close - open - 1);
  if (len >= capacity) return false;
  memcpy(source, open + 1, len * sizeof(wchar_t));
  source[len] = L'\0';
  return true;
}

int RunKitfetcher(HINSTANCE instance, const wchar_t* commandLine, bool narrowSearch, bool checkFolderRights) {
  g_setup.programInstance = instance;
  qn::OptionMap options(commandLine ? commandLine : L"");
  // Before anything of the package is touched: where the search cannot be
  // narrowed, this instance only starts the run over from a fresh folder.
  RunPlace place = ChooseRunPlace(options, narrowSearch, checkFolderRights);
  if (place == kStartOver) StartOver(commandLine ? commandLine : L"", options);
  if (place == kStartOver || place == kRunNowhere) return 0;
  LoadResourceLibrary();
  if (!ClaimSingleInstance()) return 0;
  DeleteRestartRegistration();
  Prepare(options, place == kRunForFirstInstance);

  if (!PassGates()) {
    Teardown();
    return 0;
  }
  WriteLog(L"[KITFETCHER] Saving DEVICE2 value, if it exists");
  BackupDeviceKey();

  if (RunCompetitorFlowIfFound()) {
    Teardown();
    return 0;
  }
  DownloadAndHandOff();
  Teardown();
  return 0;
}

void Teardown() {
  g_setup.cancelEvent.Reset();
  g_setup.locations.baseUrl.Reset();
  if (g_setup.uiLibrary.Valid()) {
    g_setup.uiLibrary.Reset();
    g_setup.resourceModule = g_setup.programInstance;
  }
  CloseLog();
  if (g_setup.statsLockReady) {
    DeleteCriticalSection(&g_setup.statsLock);
    g_setup.statsLockReady = false;
  }
  g_setup.instanceEvent.Reset();
}
