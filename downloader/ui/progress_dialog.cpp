#include "downloader/ui/progress_dialog.h"

#include <commctrl.h>
#include <new>
#include <shobjidl.h>
#include <string.h>

#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/load_text.h"
#include "downloader/services/message_box.h"
#include "downloader/services/setup_state.h"
#include "downloader/ui/center_on_monitor.h"
#include "downloader/ui/progress_texts.h"
#include "downloader/services/text_ids.h"
#include "downloader/ui/resource_ids.h"
#include "downloader/ui/worker_prompts.h"

namespace {

const UINT kRefreshPeriodMs = 1000;

void SetLabel(HWND dialog, int controlId, UINT textId) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control) SetWindowTextW(control, LoadText(textId));
}

void CreateTaskbarProgress(HWND dialog) {
  if (g_setup.taskbarList) {
    g_setup.taskbarList->Release();
    g_setup.taskbarList = NULL;
  }
  ITaskbarList3* list = NULL;
  HRESULT hr = CoCreateInstance(CLSID_TaskbarList, NULL, CLSCTX_ALL, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list));
  if (FAILED(hr) || !list) {
    WriteLog(L"[KITFETCHER] No taskbar progress (0x%08lx)", static_cast<unsigned long>(hr));
    return;
  }
  // The taskbar object must be initialised before any other call.
  if (FAILED(list->HrInit())) {
    list->Release();
    return;
  }
  g_setup.taskbarList = list;
  list->SetProgressState(dialog, TBPF_INDETERMINATE);
}

void OnInitDialog(HWND dialog) {
  g_setup.dialogWindow = dialog;
  g_setup.progressBarWindow = GetDlgItem(dialog, IDC_PROGRESS_BAR);
  g_setup.speedTextWindow = GetDlgItem(dialog, IDC_SPEED_VALUE);
  g_setup.timeLeftTextWindow = GetDlgItem(dialog, IDC_TIME_LEFT_VALUE);

  HICON icon = LoadIconW(g_setup.programInstance, MAKEINTRESOURCEW(IDI_MAIN));
  if (icon) {
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  SetWindowTextW(dialog, g_setup.locations.defaultProductName);

  SetLabel(dialog, IDC_DOWNLOADING_LABEL, IDS_DOWNLOADING_LABEL);
  SetLabel(dialog, IDC_SPEED_LABEL, IDS_SPEED_LABEL);
  SetLabel(dialog, IDC_TIME_LEFT_LABEL, IDS_TIME_LEFT_LABEL);
  LoadedText estimating = LoadText(IDS_ESTIMATING);
  if (g_setup.speedTextWindow) SetWindowTextW(g_setup.speedTextWindow, estimating);
  if (g_setup.timeLeftTextWindow) SetWindowTextW(g_setup.timeLeftTextWindow, estimating);

  CenterOnMonitor(dialog);
  SetTimer(dialog, IDT_REFRESH, kRefreshPeriodMs, NULL);
  if (g_setup.osVersionCode == kOsWindows7) CreateTaskbarProgress(dialog);

  // Only now may the worker use the window: as owner, for the taskbar, to end it.
  if (g_setup.dialogReadyEvent) SetEvent(g_setup.dialogReadyEvent);
}

// The text travels with the message; whoever ends up holding it frees it.
void PostDialogText(HWND dialog, UINT message, const wchar_t* text) {
  size_t length = wcslen(text);
  wchar_t* copy = new (std::nothrow) wchar_t[length + 1];
  if (!copy) return;
  memcpy(copy, text, (length + 1) * sizeof(wchar_t));
  if (!PostMessageW(dialog, message, 0, reinterpret_cast<LPARAM>(copy))) delete[] copy;
}

void RefreshProgress(HWND dialog, UINT_PTR timerId) {
  if (timerId != IDT_REFRESH || !g_setup.statsLockReady) return;
  uint32_t done;
  uint32_t total;
  double speed;
  {
    qn::ScopedCriticalSectionLock lock(&g_setup.statsLock);
    speed = g_setup.stats.speedKBps;
    total = static_cast<uint32_t>(g_setup.stats.bytesExpected);
    if (speed == 0.0 || total == 0) return;
    done = g_setup.stats.bytesTransferred;
  }

  PostMessageW(dialog, WMU_SET_PERCENT, static_cast<WPARAM>(ProgressPercentage(done, total)), 0);

  wchar_t text[kProgressTextChars];
  if (FormatSpeedText(speed, LoadText(IDS_KBPS), LoadText(IDS_MBPS), text, kProgressTextChars))
    PostDialogText(dialog, WMU_SET_SPEED_TEXT, text);

  // Below 1 KB/s there is no estimate; the previous one stays on screen.
  uint32_t seconds = 0;
  if (!SecondsLeft(done, total, speed, &seconds)) return;
  DurationWords words = {g_setup.hourText,   g_setup.hoursText,         g_setup.minuteText,
                         g_setup.minutesText, g_setup.secondText,       g_setup.secondsText,
                         g_setup.longDurationFormat, g_setup.shortDurationFormat};
  if (FormatTimeLeft(seconds, words, text, kProgressTextChars)) PostDialogText(dialog, WMU_SET_TIME_LEFT_TEXT, text);
}

void ShowPostedText(HWND control, LPARAM lParam) {
  wchar_t* text = reinterpret_cast<wchar_t*>(lParam);
  if (control && text) SetWindowTextW(control, text);
  delete[] text;
}

void OnPercent(HWND dialog, WPARAM percent) {
  if (percent > 100) percent = 100;
  if (g_setup.progressBarWindow) SendMessageW(g_setup.progressBarWindow, PBM_SETPOS, percent, 0);
  if (g_setup.taskbarList && g_setup.osVersionCode == kOsWindows7) g_setup.taskbarList->SetProgressValue(dialog, percent, 100);
}

void OnClose(HWND dialog, WPARAM wParam) {
  if (!BeginQuitQuestion()) return;
  bool quit = ShowMessage(dialog, IDS_CONFIRM_QUIT, MB_YESNO | MB_ICONQUESTION) == IDYES;
  if (quit && g_setup.cancelEvent) SetEvent(g_setup.cancelEvent);
  EndQuitQuestion(quit);
  if (!quit) return;
  KillTimer(dialog, IDT_REFRESH);
  EndDialog(dialog, LOWORD(wParam));
}

// Texts still queued when the window goes would otherwise never be freed.
void DropQueuedTexts(HWND dialog) {
  MSG msg;
  while (PeekMessageW(&msg, dialog, WMU_SET_SPEED_TEXT, WMU_SET_TIME_LEFT_TEXT, PM_REMOVE))
    delete[] reinterpret_cast<wchar_t*>(msg.lParam);
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog);
      return TRUE;
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(g_setup.dialogBrush);
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, RGB(255, 255, 255));
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(g_setup.dialogBrush);
    }
    case WM_TIMER:
      RefreshProgress(dialog, wParam);
      return 0;
    case WMU_SET_PERCENT:
      OnPercent(dialog, wParam);
      return TRUE;
    case WMU_SET_SPEED_TEXT:
      ShowPostedText(g_setup.speedTextWindow, lParam);
      return TRUE;
    case WMU_SET_TIME_LEFT_TEXT:
      ShowPostedText(g_setup.timeLeftTextWindow, lParam);
      return TRUE;
    case WM_CLOSE:
      OnClose(dialog, wParam);
      return TRUE;
    case WM_DESTROY:
      CloseWorkerPrompts();
      DropQueuedTexts(dialog);
      return FALSE;
  }
  return FALSE;
}

void RunProgressDialog() {
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);
  HMODULE module = g_setup.resourceModule ? g_setup.resourceModule : GetModuleHandleW(NULL);
  INT_PTR result = DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDialogProc, 0);
  if (result == -1)
    WriteLog(L"[KITFETCHER] Cannot show the progress dialog (error %d)", static_cast<int>(GetLastError()));
  // Without a dialog the worker must not wait for one: it goes on without owner.
  if (g_setup.dialogReadyEvent) SetEvent(g_setup.dialogReadyEvent);
}

HWND WaitForDialogWindow() {
  if (g_setup.dialogReadyEvent) WaitForSingleObject(g_setup.dialogReadyEvent, INFINITE);
  return g_setup.dialogWindow;
}

void EndProgressDialog() {
  HWND dialog = WaitForDialogWindow();
  if (dialog) EndDialog(dialog, 1);
}

void SetDialogTaskbarState(TBPFLAG state) {
  HWND dialog = WaitForDialogWindow();
  if (dialog && g_setup.taskbarList && g_setup.osVersionCode == kOsWindows7) g_setup.taskbarList->SetProgressState(dialog, state);
}
