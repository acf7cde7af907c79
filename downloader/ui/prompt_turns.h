// Whose turn it is to show a box over the progress dialog: its quit question or
// one of the worker's messages. A worker box waits while the user is being
// asked whether to quit, and none is shown once the user has confirmed quitting
// or the dialog is gone, so that no box is ever owned by a window that no
// longer exists and nothing is asked after the user chose to quit.
#pragma once
#include <windows.h>

#include "common/scoped_handles.h"

class PromptTurns {
 public:
  PromptTurns();
  PromptTurns(const PromptTurns&) = delete;
  PromptTurns& operator=(const PromptTurns&) = delete;

  // Worker side. Takes the turn for one box (textId names it in the log),
  // waiting while the quit question is open; false, logged, when no box may
  // be shown any more.
  [[nodiscard]] bool ClaimForWorker(UINT textId);
  void ReleaseWorker();

  // Dialog side. True when the quit question may be asked now; false while a
  // worker box is open (the user answers that first) or once the dialog closes.
  [[nodiscard]] bool BeginQuitQuestion();
  // After the answer (the cancel event already set on a confirmed quit): a
  // confirmed quit withholds every later worker box, a declined one lets them on.
  void EndQuitQuestion(bool quitConfirmed);
  // The dialog window is going: no worker box from now on.
  void Close();

  // Tests: how often a worker box has looked at the turn again after waiting.
  LONG TimesLookedAgain() const { return lookedAgain_; }

 private:
  volatile LONG turn_ = 0;  // kTurnFree
  volatile LONG lookedAgain_ = 0;
  // Set whenever the quit question is not open: a waiting worker box looks again.
  qn::ScopedHandle questionClosed_;
};
