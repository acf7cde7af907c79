// The turns of the quit question and the worker's boxes, which the dialog owns.
#include <gtest/gtest.h>
#include <windows.h>

#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/ui/prompt_turns.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/transfer_ui_support.h"

// A second close while the quit question is open (the taskbar's "Close
// window", End Task) is refused and leaves a worker box that waits for the
// answer waiting: it does not look at the turn again until the question ends.
TEST(PromptTurns, ASecondCloseDuringTheQuitQuestionLeavesAWaitingWorkerAsleep) {
  ResetSetupState();
  kittest::LogCapture log;
  PromptTurns turns;
  ASSERT_TRUE(turns.BeginQuitQuestion());
  bool claimed = false;
  {
    kittest::Thread worker([&] { claimed = turns.ClaimForWorker(IDS_RETRY_DOWNLOAD); });
    for (DWORD start = GetTickCount(); !log.Contains("waits for the answer") && GetTickCount() - start < 10000;)
      Sleep(10);
    EXPECT_FALSE(turns.BeginQuitQuestion()) << "a second question beside the first";
    EXPECT_FALSE(turns.BeginQuitQuestion());
    Sleep(300);
    EXPECT_EQ(0, turns.TimesLookedAgain()) << "the worker spins while the question is open";
    turns.EndQuitQuestion(false);
    EXPECT_TRUE(worker.Join(10000));
  }
  EXPECT_TRUE(claimed);
  EXPECT_GE(turns.TimesLookedAgain(), 1);
  // The worker's box holds the turn now: the next close waits for it.
  EXPECT_FALSE(turns.BeginQuitQuestion());
  turns.ReleaseWorker();
  EXPECT_TRUE(turns.BeginQuitQuestion());
  ResetSetupState();
}
