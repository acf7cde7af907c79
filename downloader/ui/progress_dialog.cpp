#include "downloader/ui/progress_dialog.h"

#include <commctrl.h>
#include <new>
#include <string.h>

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/system_libraries.h"
#include "downloader/services/text_ids.h"
#include "downloader/services/texts.h"
#include "downloader/ui/progress_texts.h"
#include "downloader/ui/resource_ids.h"

namespace {

constexpr UINT kSetPercentMessage = WM_USER + 1;
constexpr UINT kSetSpeedTextMessage = WM_USER + 2;
constexpr UINT kSetTimeLeftTextMessage = WM_USER + 3;
// From the worker: the taskbar state to show (wParam, a TBPFLAG), and the
// worker's end. The dialog procedure does both on the dialog's thread: the
// taskbar object belongs to that thread's apartment, and only the dialog's
// own thread ends the dialog.
constexpr UINT kShowTransferStateMessage = WM_USER + 4;
constexpr UINT kWorkerEndedMessage = WM_USER + 5;

constexpr UINT kRefreshPeriodMs = 1000;
// A question's text formatted with its argument is cut at this length.
constexpr size_t kQuestionChars = 512;

void SetLabel(HWND dialog, int controlId, UINT textId) {
  HWND control = GetDlgItem(dialog, controlId);
  if (control) SetWindowTextW(control, LoadText(textId));
}

// The text travels with the message; whoever ends up holding it frees it.
void PostDialogText(HWND dialog, UINT message, const wchar_t* text) {
  size_t length = wcslen(text);
  wchar_t* copy = new (std::nothrow) wchar_t[length + 1];
  if (!copy) return;
  memcpy(copy, text, (length + 1) * sizeof(wchar_t));
  if (!PostMessageW(dialog, message, 0, reinterpret_cast<LPARAM>(copy))) delete[] copy;
}

void ShowPostedText(HWND control, LPARAM lParam) {
  wchar_t* text = reinterpret_cast<wchar_t*>(lParam);
  if (control && text) SetWindowTextW(control, text);
  delete[] text;
}

// Texts still queued when the window goes would otherwise never be freed.
void DropQueuedTexts(HWND dialog) {
  MSG msg;
  while (PeekMessageW(&msg, dialog, kSetSpeedTextMessage, kSetTimeLeftTextMessage, PM_REMOVE))
    delete[] reinterpret_cast<wchar_t*>(msg.lParam);
}

}  // namespace

ProgressDialog::ProgressDialog(ITaskbarList3* taskbar)
    : brush_(CreateSolidBrush(RGB(0, 0, 0))),
      ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      taskbar_(taskbar) {}

void ProgressDialog::OnInitDialog(HWND dialog) {
  window_ = dialog;
  progressBar_ = GetDlgItem(dialog, IDC_PROGRESS_BAR);
  speedText_ = GetDlgItem(dialog, IDC_SPEED_VALUE);
  timeLeftText_ = GetDlgItem(dialog, IDC_TIME_LEFT_VALUE);

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
  if (speedText_) SetWindowTextW(speedText_, estimating);
  if (timeLeftText_) SetWindowTextW(timeLeftText_, estimating);

  CenterOnMonitor(dialog);
  SetTimer(dialog, IDT_REFRESH, kRefreshPeriodMs, nullptr);
  taskbar_.Attach(dialog);

  // Only now may the worker use the window: as owner, for the taskbar, to end it.
  if (ready_.Valid()) SetEvent(ready_.Get());
}

void ProgressDialog::RefreshProgress(HWND dialog, UINT_PTR timerId) {
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

  PostMessageW(dialog, kSetPercentMessage, static_cast<WPARAM>(ProgressPercentage(done, total)), 0);

  wchar_t text[kProgressTextChars];
  if (FormatSpeedText(speed, LoadText(IDS_KBPS), LoadText(IDS_MBPS), text, kProgressTextChars))
    PostDialogText(dialog, kSetSpeedTextMessage, text);

  // Below 1 KB/s there is no estimate; the previous one stays on screen.
  uint32_t seconds = 0;
  if (!SecondsLeft(done, total, speed, &seconds)) return;
  DurationWords words = {g_setup.hourText,   g_setup.hoursText,         g_setup.minuteText,
                         g_setup.minutesText, g_setup.secondText,       g_setup.secondsText,
                         g_setup.longDurationFormat, g_setup.shortDurationFormat};
  if (FormatTimeLeft(seconds, words, text, kProgressTextChars)) PostDialogText(dialog, kSetTimeLeftTextMessage, text);
}

void ProgressDialog::OnPercent(HWND dialog, WPARAM percent) {
  if (percent > 100) percent = 100;
  if (progressBar_) SendMessageW(progressBar_, PBM_SETPOS, percent, 0);
  taskbar_.ShowPercent(dialog, percent);
}

void ProgressDialog::OnClose(HWND dialog, WPARAM wParam) {
  if (!turns_.BeginQuitQuestion()) return;
  bool quit = ShowMessage(dialog, IDS_CONFIRM_QUIT, MB_YESNO | MB_ICONQUESTION) == IDYES;
  if (quit && g_setup.cancelEvent.Valid()) SetEvent(g_setup.cancelEvent.Get());
  turns_.EndQuitQuestion(quit);
  if (!quit) return;
  KillTimer(dialog, IDT_REFRESH);
  EndDialog(dialog, LOWORD(wParam));
}

INT_PTR ProgressDialog::Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORDLG:
      return reinterpret_cast<INT_PTR>(brush_.Get());
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, RGB(255, 255, 255));
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(brush_.Get());
    }
    case WM_TIMER:
      RefreshProgress(dialog, wParam);
      return 0;
    case kSetPercentMessage:
      OnPercent(dialog, wParam);
      return TRUE;
    case kSetSpeedTextMessage:
      ShowPostedText(speedText_, lParam);
      return TRUE;
    case kSetTimeLeftTextMessage:
      ShowPostedText(timeLeftText_, lParam);
      return TRUE;
    case kShowTransferStateMessage:
      taskbar_.ShowState(dialog, static_cast<TBPFLAG>(wParam));
      return TRUE;
    case kWorkerEndedMessage:
      KillTimer(dialog, IDT_REFRESH);
      EndDialog(dialog, 1);
      return TRUE;
    case WM_CLOSE:
      OnClose(dialog, wParam);
      return TRUE;
    case WM_DESTROY:
      turns_.Close();
      DropQueuedTexts(dialog);
      return FALSE;
  }
  return FALSE;
}

INT_PTR CALLBACK ProgressDialog::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    reinterpret_cast<ProgressDialog*>(lParam)->OnInitDialog(dialog);
    return TRUE;
  }
  // Messages before WM_INITDIALOG find no dialog object yet.
  auto* self = reinterpret_cast<ProgressDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self ? self->Handle(dialog, message, wParam, lParam) : FALSE;
}

void ProgressDialog::Run() {
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_PROGRESS_CLASS;
  Comctl32().initCommonControlsEx(&controls);
  HMODULE module = g_setup.resourceModule ? g_setup.resourceModule : GetModuleHandleW(nullptr);
  INT_PTR result =
      DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_PROGRESS), nullptr, Proc, reinterpret_cast<LPARAM>(this));
  if (result == -1)
    WriteLog(L"[KITFETCHER] Cannot show the progress dialog (error %d)", static_cast<int>(GetLastError()));
  // Without a dialog the worker must not wait for one: it goes on without owner.
  if (ready_.Valid()) SetEvent(ready_.Get());
}

bool ProgressDialog::WaitUntilReady(DWORD timeoutMs) {
  return !ready_.Valid() || WaitForSingleObject(ready_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

HWND ProgressDialog::WaitForWindow() {
  WaitUntilReady(INFINITE);
  return window_;
}

void ProgressDialog::ReportProgress(TransferState state) {
  HWND dialog = WaitForWindow();
  if (dialog) PostMessageW(dialog, kShowTransferStateMessage, state == kTransferFailing ? TBPF_ERROR : TBPF_NORMAL, 0);
}

int ProgressDialog::Ask(UINT textId, UINT style, const wchar_t* argument) {
  // While the box holds the turn the dialog cannot close, so its window stays a
  // valid owner.
  HWND owner = WaitForWindow();
  if (!turns_.ClaimForWorker(textId)) return kPromptWithheld;
  int answer = argument ? ShowFormattedMessage(owner, textId, kQuestionChars, style, argument)
                        : ShowMessage(owner, textId, style);
  turns_.ReleaseWorker();
  return answer;
}

void ProgressDialog::Tell(UINT textId, UINT style) { Ask(textId, style, nullptr); }

void ProgressDialog::End() {
  HWND dialog = WaitForWindow();
  if (!dialog) return;
  // The worker's end always ends the dialog: should the posted message find
  // no room in a full queue, it is sent, and still handled on the dialog's
  // thread. A dialog already gone takes neither.
  if (!PostMessageW(dialog, kWorkerEndedMessage, 0, 0)) SendMessageW(dialog, kWorkerEndedMessage, 0, 0);
}

POINT CenteredPosition(const RECT& window, const RECT& workArea) {
  LONG width = window.right - window.left;
  LONG height = window.bottom - window.top;
  POINT at;
  at.x = (workArea.left + workArea.right) / 2 - width / 2;
  at.y = (workArea.top + workArea.bottom) / 2 - height / 2;
  // Right and bottom first, so that the top-left corner wins when both cannot hold.
  if (at.x + width > workArea.right) at.x = workArea.right - width;
  if (at.x < workArea.left) at.x = workArea.left;
  if (at.y + height > workArea.bottom) at.y = workArea.bottom - height;
  if (at.y < workArea.top) at.y = workArea.top;
  return at;
}

void CenterOnMonitor(HWND window) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  MONITORINFO info;
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info)) return;
  POINT at = CenteredPosition(rect, info.rcWork);
  SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
