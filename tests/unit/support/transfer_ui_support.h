// What the tests of the progress dialog and the download worker share: the
// duration words as the program loads them, and a thread that runs a callable.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "downloader/services/texts.h"
#include "downloader/services/setup_state.h"

namespace kittest {

// The duration words as the start-up sequence loads them.
inline void LoadDurationWords() {
  struct {
    UINT id;
    wchar_t* field;
  } words[] = {{110, g_setup.hourText},    {111, g_setup.hoursText},  {112, g_setup.minuteText},
               {113, g_setup.minutesText}, {114, g_setup.secondText}, {115, g_setup.secondsText},
               {116, g_setup.longDurationFormat}, {117, g_setup.shortDurationFormat}};
  for (size_t i = 0; i < sizeof(words) / sizeof(words[0]); ++i) {
    LoadedText text = LoadText(words[i].id);
    lstrcpynW(words[i].field, text, static_cast<int>(kTimeWordChars));
  }
}

// Runs a callable on a thread of its own; joins it on destruction.
class Thread {
 public:
  explicit Thread(const std::function<void()>& body) : body_(body) {
    handle_ = CreateThread(NULL, 0, Run, this, 0, NULL);
  }
  ~Thread() { Join(); }
  bool Join(DWORD timeoutMs = INFINITE) {
    if (!handle_) return true;
    if (WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) return false;
    CloseHandle(handle_);
    handle_ = NULL;
    return true;
  }

 private:
  Thread(const Thread&);
  Thread& operator=(const Thread&);
  static DWORD WINAPI Run(LPVOID self) {
    static_cast<Thread*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_;
};

}  // namespace kittest
