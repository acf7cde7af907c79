// How the download worker's run ends, whichever path it took.
#pragma once

// True once the user has confirmed quitting the progress dialog.
bool CancelRequested();
// Records the outcome for the main flow and ends the progress dialog (with 1).
void FinishWorkerRun(bool aborted);
// A run that cannot place the kit: the user is told (message 121), and the run
// ends aborted, so that the main flow takes back what it placed.
void FailWorkerRun();
