// The progress on the dialog's taskbar button. Only Windows 7, of the versions
// the gate lets through, has one; elsewhere every call does nothing.
#pragma once
#include <windows.h>
#include <shobjidl.h>

#include "common/scoped_handles.h"

class TaskbarButton {
 public:
  TaskbarButton() = default;
  // Tests: a taskbar object of their own, as if the dialog had made it.
  explicit TaskbarButton(ITaskbarList3* list);
  TaskbarButton(const TaskbarButton&) = delete;
  TaskbarButton& operator=(const TaskbarButton&) = delete;

  // Makes the taskbar object for the dialog (COM initialised), unless a test
  // handed one in, and shows an indeterminate progress; logs when there is none.
  void Attach(HWND dialog);
  void ShowState(HWND dialog, TBPFLAG state);
  void ShowPercent(HWND dialog, ULONGLONG percent);
  bool Attached() const { return !list_.IsNull(); }
  // Before COM goes, once nobody else can use the object.
  void Release() { list_.Reset(); }

 private:
  bool Usable(HWND dialog) const;

  qn::ComPtr<ITaskbarList3> list_;
};
