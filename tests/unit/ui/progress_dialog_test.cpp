// The progress dialog run for real on the test's main thread, watched and
// driven from a helper thread the way the download worker meets it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shobjidl.h>

#include <memory>

#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/ui/progress_dialog.h"
#include "downloader/ui/prompt_turns.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/fake_taskbar.h"
#include "tests/unit/support/fresh_setup_state.h"
#include "tests/unit/support/message_boxes.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/transfer_ui_support.h"

namespace {

using kittest::WindowText;

class ProgressDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kittest::FreshSetupStateWithStatsLock();
    ASSERT_TRUE(resources_.Valid()) << "kitfetcher.exe of this build carries dialog 104";
    g_setup.resourceModule = resources_.Get();
    g_setup.programInstance = resources_.Get();
    kittest::LoadDurationWords();
    lstrcpyW(g_setup.locations.defaultProductName, L"Kit Product 7");
    lstrcpyW(g_setup.locations.manufacturerName, L"Kit Maker");
    g_setup.cancelEvent.Reset(CreateEventW(NULL, TRUE, FALSE, NULL));
    g_setup.osVersionCode = kOsXpSp3;
    com_ = CoInitialize(NULL);
    dialog_.reset(new ProgressDialog);
  }

  void TearDown() override {
    dialog_.reset();
    if (SUCCEEDED(com_)) CoUninitialize();
    ResetSetupState();
  }

  bool DialogReady() { return dialog_->WaitUntilReady(15000); }

  static bool CancelSet() { return WaitForSingleObject(g_setup.cancelEvent.Get(), 0) == WAIT_OBJECT_0; }

  // Waits for the text to become `want` (the refresh runs once a second).
  static std::wstring WaitForText(HWND control, const std::wstring& want, DWORD timeoutMs = 5000) {
    DWORD start = GetTickCount();
    std::wstring text;
    for (;;) {
      text = WindowText(control);
      if (text == want || GetTickCount() - start > timeoutMs) return text;
      Sleep(50);
    }
  }

  // Runs the dialog here while `body` runs on a helper thread. A watchdog ends a
  // dialog that nobody ended, so a fault fails the test instead of hanging it.
  void RunDialogWith(const std::function<void()>& body) {
    HANDLE finished = CreateEventW(NULL, TRUE, FALSE, NULL);
    {
      kittest::Thread helper(body);
      kittest::Thread watchdog([&] {
        if (WaitForSingleObject(finished, 30000) != WAIT_TIMEOUT) return;
        watchdogFired_ = true;
        HWND dialog = dialog_->WaitForWindow();
        HWND box = kittest::WaitForMessageBox(0, dialog);
        if (box) kittest::AnswerBox(box, IDNO);
        if (dialog) EndDialog(dialog, 99);
      });
      dialog_->Run();
      SetEvent(finished);
    }
    dialog_->ReleaseTaskbar();
    CloseHandle(finished);
    EXPECT_FALSE(watchdogFired_) << "the dialog was not ended";
  }

  qn::ScopedLibrary resources_{kittest::LoadProgramResources()};
  HRESULT com_ = E_FAIL;
  bool watchdogFired_ = false;
  std::unique_ptr<ProgressDialog> dialog_;
};

const wchar_t kRetryText[] = L"There was an error download one of the instalation file. Do you want to retry?";

struct BoxSearch {
  const wchar_t* text;
  HWND found;
};

BOOL CALLBACK FindBoxShowingProc(HWND window, LPARAM param) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  if (kittest::BoxText(window) != search->text) return TRUE;
  search->found = window;
  return FALSE;
}

// A visible message box of this process that shows `text`; NULL when none.
HWND FindBoxShowing(const wchar_t* text) {
  BoxSearch search = {text, NULL};
  EnumWindows(FindBoxShowingProc, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

TEST_F(ProgressDialogTest, ShowsItsTextsThenTheCountersOfEachTick) {
  struct {
    bool ready = false;
    std::wstring caption, downloading, speedLabel, timeLabel, speedBefore, timeBefore, speedAfter, timeAfter;
    LRESULT position = -1;
    bool bigIcon = false, smallIcon = false;
    RECT rect = {}, work = {};
    INT_PTR staticBrush = 0, dialogBrush = 0;
    COLORREF textColor = 0;
    int backgroundMode = 0;
  } seen;
  RunDialogWith([&] {
    if (!(seen.ready = DialogReady())) return;
    HWND dialog = dialog_->WaitForWindow();
    seen.caption = WindowText(dialog);
    seen.downloading = WindowText(GetDlgItem(dialog, 1004));
    seen.speedLabel = WindowText(GetDlgItem(dialog, 1002));
    seen.timeLabel = WindowText(GetDlgItem(dialog, 1003));
    seen.bigIcon = SendMessageW(dialog, WM_GETICON, ICON_BIG, 0) != 0;
    seen.smallIcon = SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0) != 0;
    GetWindowRect(dialog, &seen.rect);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &info);
    seen.work = info.rcWork;
    HDC dc = GetDC(dialog);
    seen.staticBrush = SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                    reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1002)));
    seen.textColor = GetTextColor(dc);
    seen.backgroundMode = GetBkMode(dc);
    seen.dialogBrush = SendMessageW(dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                    reinterpret_cast<LPARAM>(dialog));
    ReleaseDC(dialog, dc);

    // A tick without counters changes nothing.
    Sleep(1300);
    seen.speedBefore = WindowText(GetDlgItem(dialog, 1005));
    seen.timeBefore = WindowText(GetDlgItem(dialog, -1));

    kittest::SetStats(1048576, 2097152, 1.9);
    seen.speedAfter = WaitForText(GetDlgItem(dialog, 1005), L"1.90 KB/s");
    seen.timeAfter = WaitForText(GetDlgItem(dialog, -1), L"17 minutes and 4 seconds");
    seen.position = SendMessageW(GetDlgItem(dialog, 1001), PBM_GETPOS, 0, 0);
    dialog_->End();
  });
  ASSERT_TRUE(seen.ready);
  EXPECT_EQ(L"Kit Product 7", seen.caption);
  EXPECT_EQ(L"Downloading installer:", seen.downloading);
  EXPECT_EQ(L"Download speed:", seen.speedLabel);
  EXPECT_EQ(L"Estimated time left:", seen.timeLabel);
  EXPECT_TRUE(seen.bigIcon);
  EXPECT_TRUE(seen.smallIcon);
  EXPECT_EQ(L"Estimating...", seen.speedBefore);
  EXPECT_EQ(L"Estimating...", seen.timeBefore);
  EXPECT_EQ(L"1.90 KB/s", seen.speedAfter);
  EXPECT_EQ(L"17 minutes and 4 seconds", seen.timeAfter);
  EXPECT_EQ(50, seen.position);

  POINT centred = CenteredPosition(seen.rect, seen.work);
  EXPECT_EQ(centred.x, seen.rect.left);
  EXPECT_EQ(centred.y, seen.rect.top);

  EXPECT_EQ(reinterpret_cast<INT_PTR>(dialog_->Brush()), seen.staticBrush);
  EXPECT_EQ(reinterpret_cast<INT_PTR>(dialog_->Brush()), seen.dialogBrush);
  EXPECT_EQ(RGB(255, 255, 255), seen.textColor);
  EXPECT_EQ(TRANSPARENT, seen.backgroundMode);
  EXPECT_FALSE(CancelSet());
}

TEST_F(ProgressDialogTest, SlowSpeedKeepsTheEstimateAndOverrunStaysWithinTheBar) {
  kittest::SetStats(5000, 1000, 0.5);
  struct {
    bool ready = false;
    std::wstring slowSpeed, slowTime, fastTime;
    LRESULT position = -1;
  } seen;
  RunDialogWith([&] {
    if (!(seen.ready = DialogReady())) return;
    HWND dialog = dialog_->WaitForWindow();
    seen.slowSpeed = WaitForText(GetDlgItem(dialog, 1005), L"0.50 KB/s");
    seen.slowTime = WindowText(GetDlgItem(dialog, -1));
    seen.position = SendMessageW(GetDlgItem(dialog, 1001), PBM_GETPOS, 0, 0);
    kittest::SetStats(5000, 1000, 2.0);
    seen.fastTime = WaitForText(GetDlgItem(dialog, -1), L"0 seconds");
    dialog_->End();
  });
  ASSERT_TRUE(seen.ready);
  EXPECT_EQ(L"0.50 KB/s", seen.slowSpeed);
  EXPECT_EQ(L"Estimating...", seen.slowTime);
  EXPECT_EQ(100, seen.position);
  EXPECT_EQ(L"0 seconds", seen.fastTime);
}

TEST_F(ProgressDialogTest, QuitAnsweredNoKeepsRunningAndYesSignalsTheWorker) {
  struct {
    bool ready = false, shown = false, firstBox = false, secondBox = false;
    std::wstring question, boxCaption, speedAfterNo;
    HWND owner = NULL, dialog = NULL;
    bool cancelAfterNo = true, visibleAfterNo = false;
  } seen;
  RunDialogWith([&] {
    if (!(seen.ready = DialogReady())) return;
    HWND dialog = seen.dialog = dialog_->WaitForWindow();
    // A modal dialog is first shown when its loop goes idle, after it reports ready.
    if (!(seen.shown = kittest::WaitUntilShown(dialog, 5000))) return dialog_->End();
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    HWND box = kittest::WaitForMessageBox(5000, dialog);
    if (!(seen.firstBox = box != NULL)) return dialog_->End();
    seen.question = kittest::BoxText(box);
    seen.boxCaption = WindowText(box);
    seen.owner = GetWindow(box, GW_OWNER);
    kittest::AnswerBox(box, IDNO);
    kittest::WaitUntilGone(box, 5000);
    seen.cancelAfterNo = CancelSet();
    seen.visibleAfterNo = IsWindowVisible(dialog) != FALSE;
    // The refresh goes on after a No.
    kittest::SetStats(100, 1000000, 4.0);
    seen.speedAfterNo = WaitForText(GetDlgItem(dialog, 1005), L"4.00 KB/s");

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    box = kittest::WaitForMessageBox(5000, dialog);
    if (!(seen.secondBox = box != NULL)) return dialog_->End();
    kittest::AnswerBox(box, IDYES);
  });
  ASSERT_TRUE(seen.ready);
  ASSERT_TRUE(seen.shown);
  ASSERT_TRUE(seen.firstBox);
  EXPECT_EQ(L"Are you sure you want to quit?", seen.question);
  EXPECT_EQ(L"Kit Maker", seen.boxCaption);
  EXPECT_EQ(seen.dialog, seen.owner);
  EXPECT_FALSE(seen.cancelAfterNo);
  EXPECT_TRUE(seen.visibleAfterNo);
  EXPECT_EQ(L"4.00 KB/s", seen.speedAfterNo);
  ASSERT_TRUE(seen.secondBox);
  EXPECT_TRUE(CancelSet());
  EXPECT_FALSE(IsWindow(seen.dialog));
}

TEST_F(ProgressDialogTest, WorkerThatEndsBeforeTheDialogExistsStillEndsIt) {
  RunDialogWith([&] { dialog_->End(); });
  HWND dialog = dialog_->WaitForWindow();
  EXPECT_TRUE(dialog != NULL);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(CancelSet());
}

TEST_F(ProgressDialogTest, DialogThatCannotBeShownNeverKeepsTheWorkerWaiting) {
  g_setup.resourceModule = GetModuleHandleW(NULL);  // no dialog 104 in the test program
  dialog_->Run();
  ASSERT_TRUE(dialog_->WaitUntilReady(0));
  EXPECT_TRUE(dialog_->WaitForWindow() == NULL);
  dialog_->End();  // returns at once, ends nothing
}

TEST_F(ProgressDialogTest, TaskbarProgressOnWindows7DoesNotDisturbTheDialog) {
  g_setup.osVersionCode = kOsWindows7;
  struct {
    bool ready = false;
    LRESULT position = -1;
  } seen;
  RunDialogWith([&] {
    if (!(seen.ready = DialogReady())) return;
    // The worker's own use of the taskbar object, from its thread.
    dialog_->ReportProgress(kTransferRunning);
    kittest::SetStats(300, 1000, 10.0);
    WaitForText(GetDlgItem(dialog_->WaitForWindow(), 1005), L"10.00 KB/s");
    seen.position = SendMessageW(GetDlgItem(dialog_->WaitForWindow(), 1001), PBM_GETPOS, 0, 0);
    dialog_->End();
  });
  ASSERT_TRUE(seen.ready);
  EXPECT_EQ(30, seen.position);
}

namespace {


// Whether the dialog, when hidden at its end, was inside a message sent from
// another thread: a dialog ended by another thread's call is.
struct EndWatch {
  static HWND dialog;
  static int hides;
  static bool hiddenFromAnotherThread;
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->hwnd == dialog && call->message == WM_WINDOWPOSCHANGING &&
        (reinterpret_cast<const WINDOWPOS*>(call->lParam)->flags & SWP_HIDEWINDOW)) {
      ++hides;
      if (InSendMessage()) hiddenFromAnotherThread = true;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
  }
};
HWND EndWatch::dialog = NULL;
int EndWatch::hides = 0;
bool EndWatch::hiddenFromAnotherThread = false;

}  // namespace

// The worker's taskbar state and its end are carried out by the dialog on its
// own thread: the taskbar object lives in that thread's apartment, and a
// dialog is ended by its own thread.
TEST_F(ProgressDialogTest, TheWorkersTaskbarStateAndEndAreCarriedOutOnTheDialogsThread) {
  g_setup.osVersionCode = kOsWindows7;
  kittest::FakeTaskbar list;
  dialog_.reset(new ProgressDialog(&list));
  EndWatch::hides = 0;
  EndWatch::hiddenFromAnotherThread = false;
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, EndWatch::Hook, NULL, GetCurrentThreadId());
  ASSERT_TRUE(hook != NULL);
  struct {
    bool ready = false;
    TBPFLAG state = TBPF_NOPROGRESS;
    DWORD thread = 0;
  } seen;
  RunDialogWith([&] {
    if (!(seen.ready = DialogReady())) return dialog_->End();
    EndWatch::dialog = dialog_->WaitForWindow();
    dialog_->ReportProgress(kTransferFailing);
    for (DWORD start = GetTickCount(); list.lastState != TBPF_ERROR && GetTickCount() - start < 5000;) Sleep(10);
    seen.state = list.lastState;
    seen.thread = list.lastThread;
    dialog_->End();
  });
  UnhookWindowsHookEx(hook);
  ASSERT_TRUE(seen.ready);
  EXPECT_EQ(TBPF_ERROR, seen.state);
  EXPECT_EQ(GetCurrentThreadId(), seen.thread) << "the taskbar object was called from the worker's thread";
  EXPECT_FALSE(IsWindow(EndWatch::dialog));
  EXPECT_EQ(1, EndWatch::hides);
  EXPECT_FALSE(EndWatch::hiddenFromAnotherThread) << "the dialog was ended from the worker's thread";
}

// The quit question and a worker's box, owned by the same dialog, never show at
// once: the worker's box waits for the answer, follows a No, and never a Yes.
TEST_F(ProgressDialogTest, AWorkerBoxWaitsForTheQuitQuestionAndNeverFollowsAConfirmedQuit) {
  const int answers[] = {IDNO, IDYES};
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(answers[i] == IDYES ? "quit confirmed" : "quit declined");
    ResetEvent(g_setup.cancelEvent.Get());
    dialog_.reset(new ProgressDialog);
    kittest::LogCapture log;
    struct {
      bool question = false, waited = false, beside = true;
      std::wstring after;
      HWND dialog = NULL, owner = NULL;
      int answer = -1;
    } seen;
    RunDialogWith([&] {
      if (!DialogReady() || !kittest::WaitUntilShown(dialog_->WaitForWindow(), 5000)) return dialog_->End();
      HWND dialog = seen.dialog = dialog_->WaitForWindow();
      PostMessageW(dialog, WM_CLOSE, 0, 0);
      HWND question = kittest::WaitForMessageBox(5000, dialog);
      if (!(seen.question = question != NULL)) return dialog_->End();
      kittest::Thread worker([&] { seen.answer = dialog_->Ask(IDS_RETRY_DOWNLOAD, MB_RETRYCANCEL, NULL); });
      for (DWORD start = GetTickCount(); !seen.waited && GetTickCount() - start < 10000; Sleep(20))
        seen.waited = log.Contains("waits for the answer to the quit question");
      seen.beside = FindBoxShowing(kRetryText) != NULL;
      kittest::AnswerBox(question, answers[i]);
      kittest::WaitUntilGone(question, 5000);
      // A box that comes is answered, so that the worker can end either way.
      HWND box = NULL;
      for (DWORD start = GetTickCount(); !box && !worker.Join(50) && GetTickCount() - start < 5000;)
        box = FindBoxShowing(kRetryText);
      if (box) {
        seen.after = kittest::BoxText(box);
        seen.owner = GetWindow(box, GW_OWNER);
        kittest::AnswerBox(box, IDCANCEL);
      }
      worker.Join();
      if (IsWindow(dialog)) dialog_->End();
    });
    ASSERT_TRUE(seen.question);
    EXPECT_TRUE(seen.waited);
    EXPECT_FALSE(seen.beside) << "a worker box beside the quit question";
    if (answers[i] == IDNO) {
      EXPECT_EQ(kRetryText, seen.after);
      EXPECT_EQ(seen.dialog, seen.owner);
      EXPECT_EQ(IDCANCEL, seen.answer);
    } else {
      EXPECT_EQ(L"", seen.after);
      EXPECT_EQ(kPromptWithheld, seen.answer);
      EXPECT_EQ(kPromptWithheld, dialog_->Ask(IDS_DOWNLOAD_FAILED, MB_ICONERROR, NULL)) << "the dialog is gone";
    }
  }
}

// Where the dialog lands on its monitor.
RECT Rect(LONG left, LONG top, LONG right, LONG bottom) {
  RECT r = {left, top, right, bottom};
  return r;
}

TEST(CenterOnMonitor, CentresWithinTheWorkArea) {
  POINT at = CenteredPosition(Rect(0, 0, 400, 200), Rect(0, 0, 1024, 768));
  EXPECT_EQ(312, at.x);
  EXPECT_EQ(284, at.y);
  // Work area not at the origin (a taskbar on the left and top, a second monitor).
  at = CenteredPosition(Rect(5, 5, 105, 55), Rect(100, 40, 301, 141));
  EXPECT_EQ(150, at.x);  // 401 / 2 - 50, halving truncated
  EXPECT_EQ(65, at.y);   // 181 / 2 - 25
}

TEST(CenterOnMonitor, HalvesTowardZeroOnNegativeCoordinates) {
  POINT at = CenteredPosition(Rect(0, 0, 11, 11), Rect(-1001, -601, 0, 0));
  EXPECT_EQ(-500 - 5, at.x);
  EXPECT_EQ(-300 - 5, at.y);
}

TEST(CenterOnMonitor, KeepsTheTopLeftCornerOfAWindowLargerThanTheWorkArea) {
  POINT at = CenteredPosition(Rect(0, 0, 1200, 900), Rect(0, 30, 1024, 768));
  EXPECT_EQ(0, at.x);
  EXPECT_EQ(30, at.y);
  at = CenteredPosition(Rect(0, 0, 1200, 100), Rect(-1024, 0, 0, 768));
  EXPECT_EQ(-1024, at.x);
  EXPECT_EQ(334, at.y);
}
