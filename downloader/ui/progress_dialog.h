// The modal progress dialog (percentage, speed, time left): the worker's host
// on the screen. The main thread makes it, runs it and, once the worker is
// gone, releases it; the worker reaches it only through WorkerHost.
#pragma once
#include <windows.h>

#include "common/scoped_handles.h"
#include "downloader/worker_link/worker_host.h"
#include "downloader/ui/prompt_turns.h"
#include "downloader/ui/taskbar_button.h"

class ProgressDialog : public WorkerHost {
 public:
  // Tests may hand in a taskbar object of their own, used in place of the one
  // the dialog would make on Windows 7.
  explicit ProgressDialog(ITaskbarList3* taskbar = nullptr);
  ProgressDialog(const ProgressDialog&) = delete;
  ProgressDialog& operator=(const ProgressDialog&) = delete;

  // Runs dialog 104 modally on the calling thread (COM initialised) until the
  // worker ends it or the user confirms quitting. When the dialog cannot be
  // shown, the worker learns it at once and goes on without an owner.
  void Run();
  // The taskbar object is the main thread's to release, after the worker and
  // before COM.
  void ReleaseTaskbar() { taskbar_.Release(); }
  // True once the window exists or it is clear that it never will; false when
  // that has not happened within the time.
  bool WaitUntilReady(DWORD timeoutMs);
  // The dialog window once it exists; null when none could be shown. Waits for
  // the dialog to come up (or to fail to).
  HWND WaitForWindow();
  // The background of the dialog and its texts.
  HBRUSH Brush() const { return brush_.Get(); }

  // WorkerHost, from the worker thread. Every one first waits for the dialog,
  // so that the worker neither ends it nor owns a box before it is there. The
  // taskbar state and the end are posted to the dialog, whose procedure acts
  // on them on its own thread; the boxes are the worker's, owned by the dialog.
  void ReportProgress(TransferState state) override;
  int Ask(UINT textId, UINT style, const wchar_t* argument) override;
  void Tell(UINT textId, UINT style) override;
  void End() override;

 private:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog(HWND dialog);
  void RefreshProgress(HWND dialog, UINT_PTR timerId);
  void OnPercent(HWND dialog, WPARAM percent);
  void OnClose(HWND dialog, WPARAM wParam);

  qn::ScopedBrush brush_;
  // Set once the window exists, or once it is clear that it never will.
  qn::ScopedHandle ready_;
  HWND window_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND speedText_ = nullptr;
  HWND timeLeftText_ = nullptr;
  TaskbarButton taskbar_;
  PromptTurns turns_;
};

// Placing the progress dialog in the middle of the monitor it is on.
// Top-left corner that centres a window of the given rectangle on the work area;
// a window larger than the work area keeps its top-left corner inside it.
[[nodiscard]] POINT CenteredPosition(const RECT& window, const RECT& workArea);

// Moves the window there (work area of its monitor, or of the primary one),
// without resizing, reordering or activating it.
void CenterOnMonitor(HWND window);
