#include "downloader/ui/worker_prompts.h"

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/message_box.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/cancel_event.h"
#include "downloader/ui/progress_dialog.h"

namespace {

enum PromptTurn { kTurnFree = 0, kWorkerBoxOpen = 1, kQuitQuestionOpen = 2, kDialogClosed = 3 };

// How often a worker box that waits for the quit question looks again.
const DWORD kTurnPollMs = 20;

bool QuitConfirmed() { return IsCancelSignalled(g_setup.cancelEvent); }

// Takes the turn for one worker box; false when none may be shown any more.
bool ClaimWorkerTurn(UINT textId) {
  bool waitLogged = false;
  for (;;) {
    if (QuitConfirmed()) return false;
    LONG turn = InterlockedCompareExchange(&g_setup.promptTurn, kWorkerBoxOpen, kTurnFree);
    if (turn == kTurnFree) return true;
    if (turn == kDialogClosed) return false;
    // The quit question is open: its answer decides whether the box may come.
    if (!waitLogged) WriteLog(L"[KITFETCHER] Message %u waits for the answer to the quit question", textId);
    waitLogged = true;
    Sleep(kTurnPollMs);
  }
}

void ReleaseWorkerTurn() { InterlockedCompareExchange(&g_setup.promptTurn, kTurnFree, kWorkerBoxOpen); }

// Waits for the dialog, then for the turn. While the box holds the turn the
// dialog cannot close, so its window stays a valid owner.
bool TakeWorkerTurn(UINT textId, HWND* owner) {
  *owner = WaitForDialogWindow();
  if (ClaimWorkerTurn(textId)) return true;
  WriteLog(L"[KITFETCHER] Message %u not shown: the user has quit", textId);
  return false;
}

}  // namespace

int ShowWorkerMessage(UINT textId, UINT style) {
  HWND owner = NULL;
  if (!TakeWorkerTurn(textId, &owner)) return kPromptWithheld;
  int answer = ShowMessage(owner, textId, style);
  ReleaseWorkerTurn();
  return answer;
}

int ShowWorkerFormattedMessage(UINT textId, size_t capacity, UINT style, const wchar_t* argument) {
  HWND owner = NULL;
  if (!TakeWorkerTurn(textId, &owner)) return kPromptWithheld;
  int answer = ShowFormattedMessage(owner, textId, capacity, style, argument);
  ReleaseWorkerTurn();
  return answer;
}

bool BeginQuitQuestion() {
  return InterlockedCompareExchange(&g_setup.promptTurn, kQuitQuestionOpen, kTurnFree) == kTurnFree;
}

void EndQuitQuestion(bool quitConfirmed) {
  InterlockedCompareExchange(&g_setup.promptTurn, quitConfirmed ? kDialogClosed : kTurnFree, kQuitQuestionOpen);
}

void CloseWorkerPrompts() { InterlockedExchange(&g_setup.promptTurn, kDialogClosed); }
