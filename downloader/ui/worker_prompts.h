// The download worker's message boxes. They are owned by the progress dialog
// and take turns with its quit question: a worker box waits while the user is
// being asked whether to quit, and none is shown once the user has confirmed
// quitting or the dialog is gone, so that no box is ever owned by a window that
// no longer exists and nothing is asked after the user chose to quit.
#pragma once
#include <stddef.h>
#include <windows.h>

// What a worker prompt answers when it was not shown.
const int kPromptWithheld = 0;

// Worker side: a string-table message with the maker as caption, owned by the
// dialog; the answer, or kPromptWithheld.
int ShowWorkerMessage(UINT textId, UINT style);
// The same with the text formatted with one text argument (see
// ShowFormattedMessage).
int ShowWorkerFormattedMessage(UINT textId, size_t capacity, UINT style, const wchar_t* argument);

// Dialog side. True when the quit question may be asked now; false while a
// worker box is open (the user answers that first) or once the dialog closes.
bool BeginQuitQuestion();
// After the answer (the cancel event already set on a confirmed quit): a
// confirmed quit withholds every later worker box, a declined one lets them on.
void EndQuitQuestion(bool quitConfirmed);
// The dialog window is going: no worker box from now on.
void CloseWorkerPrompts();
