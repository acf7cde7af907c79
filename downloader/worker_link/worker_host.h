// The download worker's link to the screen: what it may do with whoever shows
// its run to the user (the progress dialog implements it; the hand-off starts
// the worker with one), and the one signal back, the cancel event the dialog
// sets when the user confirms quitting. Every call comes from the worker thread.
#pragma once
#include <windows.h>

// What a question answers when it was not asked: the user has quit, or the
// dialog that would own it is gone.
constexpr int kPromptWithheld = 0;

enum TransferState {
  kTransferRunning,  // the downloads have started
  kTransferFailing   // a download failed; the user is about to be asked
};

class WorkerHost {
 public:
  // How the transfer goes, for the taskbar button.
  virtual void ReportProgress(TransferState state) = 0;
  // A string-table question with the maker as caption (MB_YESNO,
  // MB_RETRYCANCEL...), its text formatted with `argument` unless that is
  // null; the answer, or kPromptWithheld.
  virtual int Ask(UINT textId, UINT style, const wchar_t* argument) = 0;
  // A string-table message that wants no answer; withheld like a question.
  virtual void Tell(UINT textId, UINT style) = 0;
  // The worker is done; nothing more comes from it.
  virtual void End() = 0;

 protected:
  ~WorkerHost() = default;
};

// The one signal from the progress dialog to the transfer: a manual-reset event
// set when the user confirms quitting.
// True when the event is set (or abandoned); a missing event never cancels.
[[nodiscard]] bool IsCancelSignalled(HANDLE cancelEvent);
