// The one signal from the progress dialog to the transfer: a manual-reset event
// set when the user confirms quitting.
#pragma once
#include <windows.h>

// True when the event is set (or abandoned); a missing event never cancels.
bool IsCancelSignalled(HANDLE cancelEvent);
