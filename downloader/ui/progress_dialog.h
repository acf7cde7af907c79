// The modal progress dialog (percentage, speed, time left) and what the worker
// thread may do with it.
#pragma once
#include <windows.h>
#include <shobjidl.h>

#define WMU_SET_PERCENT (WM_USER + 1)
#define WMU_SET_SPEED_TEXT (WM_USER + 2)
#define WMU_SET_TIME_LEFT_TEXT (WM_USER + 3)

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Runs dialog 104 modally on the calling thread (COM already initialised). When
// the dialog cannot be shown, the ready event is set all the same.
void RunProgressDialog();
// Worker side: waits until the dialog window exists, then ends it with 1.
void EndProgressDialog();
// Worker side: the dialog window once it exists (owner of the worker's boxes);
// NULL when no dialog could be shown.
HWND WaitForDialogWindow();
// Worker side: the taskbar button's progress state, where there is one.
void SetDialogTaskbarState(TBPFLAG state);
