#include "downloader/ui/prompt_turns.h"

#include "downloader/worker_link/worker_host.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

namespace {

enum Turn { kTurnFree = 0, kWorkerBoxOpen = 1, kQuitQuestionOpen = 2, kDialogClosed = 3 };

bool QuitConfirmed() { return IsCancelSignalled(g_setup.cancelEvent.Get()); }

}  // namespace

PromptTurns::PromptTurns() : questionClosed_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

bool PromptTurns::ClaimForWorker(UINT textId) {
  bool waitLogged = false;
  for (;;) {
    if (QuitConfirmed()) break;
    LONG turn = InterlockedCompareExchange(&turn_, kWorkerBoxOpen, kTurnFree);
    if (turn == kTurnFree) return true;
    if (turn == kDialogClosed) break;
    // The quit question is open: its answer decides whether the box may come.
    if (!waitLogged) WriteLog(L"[KITFETCHER] Message %u waits for the answer to the quit question", textId);
    waitLogged = true;
    // Without the event (it could not be made) the question is looked at again shortly.
    if (!questionClosed_.Valid() || WaitForSingleObject(questionClosed_.Get(), INFINITE) != WAIT_OBJECT_0)
      Sleep(20);
    InterlockedIncrement(&lookedAgain_);
  }
  WriteLog(L"[KITFETCHER] Message %u not shown: the user has quit", textId);
  return false;
}

void PromptTurns::ReleaseWorker() { InterlockedCompareExchange(&turn_, kTurnFree, kWorkerBoxOpen); }

bool PromptTurns::BeginQuitQuestion() {
  // The event is only ever reset by the one who holds the question's turn. A
  // second close while the question is open (the taskbar's "Close window", End
  // Task) takes nothing and touches nothing: setting the event then would let a
  // waiting worker box find the question still open and look again at once,
  // for as long as the question stays. A worker that finds the question open
  // before the reset below merely looks once more.
  if (InterlockedCompareExchange(&turn_, kQuitQuestionOpen, kTurnFree) != kTurnFree) return false;
  if (questionClosed_.Valid()) ResetEvent(questionClosed_.Get());
  return true;
}

void PromptTurns::EndQuitQuestion(bool quitConfirmed) {
  InterlockedCompareExchange(&turn_, quitConfirmed ? kDialogClosed : kTurnFree, kQuitQuestionOpen);
  if (questionClosed_.Valid()) SetEvent(questionClosed_.Get());
}

void PromptTurns::Close() {
  InterlockedExchange(&turn_, kDialogClosed);
  if (questionClosed_.Valid()) SetEvent(questionClosed_.Get());
}
