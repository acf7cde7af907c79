// A taskbar object in place of the shell's: records the progress states it is
// asked to show, and where and from which thread.
#pragma once
#include <windows.h>
#include <shobjidl.h>

namespace kittest {

class FakeTaskbar : public ITaskbarList3 {
 public:
  FakeTaskbar() : calls(0), lastState(TBPF_NOPROGRESS), lastWindow(NULL), lastThread(0) {}
  STDMETHODIMP QueryInterface(REFIID, void** object) {
    *object = NULL;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() { return 2; }
  STDMETHODIMP_(ULONG) Release() { return 1; }
  STDMETHODIMP HrInit() { return S_OK; }
  STDMETHODIMP AddTab(HWND) { return S_OK; }
  STDMETHODIMP DeleteTab(HWND) { return S_OK; }
  STDMETHODIMP ActivateTab(HWND) { return S_OK; }
  STDMETHODIMP SetActiveAlt(HWND) { return S_OK; }
  STDMETHODIMP MarkFullscreenWindow(HWND, BOOL) { return S_OK; }
  STDMETHODIMP SetProgressValue(HWND, ULONGLONG, ULONGLONG) { return S_OK; }
  STDMETHODIMP SetProgressState(HWND window, TBPFLAG state) {
    ++calls;
    lastWindow = window;
    lastThread = GetCurrentThreadId();
    lastState = state;
    return S_OK;
  }
  STDMETHODIMP RegisterTab(HWND, HWND) { return S_OK; }
  STDMETHODIMP UnregisterTab(HWND) { return S_OK; }
  STDMETHODIMP SetTabOrder(HWND, HWND) { return S_OK; }
  STDMETHODIMP SetTabActive(HWND, HWND, DWORD) { return S_OK; }
  STDMETHODIMP ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) { return S_OK; }
  STDMETHODIMP ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) { return S_OK; }
  STDMETHODIMP ThumbBarSetImageList(HWND, HIMAGELIST) { return S_OK; }
  STDMETHODIMP SetOverlayIcon(HWND, HICON, LPCWSTR) { return S_OK; }
  STDMETHODIMP SetThumbnailTooltip(HWND, LPCWSTR) { return S_OK; }
  STDMETHODIMP SetThumbnailClip(HWND, RECT*) { return S_OK; }

  volatile int calls;
  volatile TBPFLAG lastState;
  HWND lastWindow;
  volatile DWORD lastThread;
};

}  // namespace kittest
