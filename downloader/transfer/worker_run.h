// How the download worker's run ends, whichever path it took.
#pragma once

// True once the user has confirmed quitting the progress dialog.
bool CancelRequested();
// Records the outcome for the main flow and ends the progress dialog (with 1).
void FinishWorkerRun(bool aborted);
