#include "downloader/ui/taskbar_button.h"

#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

TaskbarButton::TaskbarButton(ITaskbarList3* list) {
  if (list) list->AddRef();
  *list_.Receive() = list;
}

void TaskbarButton::Attach(HWND dialog) {
  if (g_setup.osVersionCode != kOsWindows7) return;
  HRESULT hr = S_OK;
  if (list_.IsNull())
    hr = CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_ITaskbarList3, list_.ReceiveVoid());
  if (FAILED(hr) || list_.IsNull()) {
    list_.Reset();
    WriteLog(L"[KITFETCHER] No taskbar progress (0x%08lx)", static_cast<unsigned long>(hr));
    return;
  }
  // The taskbar object must be initialised before any other call.
  if (FAILED(list_->HrInit())) {
    list_.Reset();
    return;
  }
  list_->SetProgressState(dialog, TBPF_INDETERMINATE);
}

bool TaskbarButton::Usable(HWND dialog) const {
  return dialog && !list_.IsNull() && g_setup.osVersionCode == kOsWindows7;
}

void TaskbarButton::ShowState(HWND dialog, TBPFLAG state) {
  if (Usable(dialog)) list_->SetProgressState(dialog, state);
}

void TaskbarButton::ShowPercent(HWND dialog, ULONGLONG percent) {
  if (Usable(dialog)) list_->SetProgressValue(dialog, percent, 100);
}
