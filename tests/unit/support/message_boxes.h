// Message boxes of this process found, read and answered from another thread,
// the way a user at the screen would answer them.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace kittest {

inline std::wstring WindowText(HWND window) {
  if (!window) return L"<no window>";
  wchar_t text[1024];
  text[0] = L'\0';
  GetWindowTextW(window, text, 1024);
  return text;
}

struct BoxSearch {
  HWND exclude;
  HWND found;
};

inline BOOL CALLBACK FindBoxProc(HWND window, LPARAM param) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != GetCurrentProcessId() || window == search->exclude || !IsWindowVisible(window)) return TRUE;
  wchar_t cls[16];
  if (!GetClassNameW(window, cls, 16) || lstrcmpW(cls, L"#32770") != 0) return TRUE;
  if (!GetDlgItem(window, 0xFFFF)) return TRUE;
  search->found = window;
  return FALSE;
}

// A message box of this process (a visible #32770 window with a 0xFFFF text)
// other than `exclude`; NULL when there is none.
inline HWND FindMessageBox(HWND exclude = NULL) {
  BoxSearch search = {exclude, NULL};
  EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// As FindMessageBox, waiting for one; NULL after the timeout.
inline HWND WaitForMessageBox(DWORD timeoutMs, HWND exclude = NULL) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND box = FindMessageBox(exclude);
    if (box) return box;
    if (GetTickCount() - start > timeoutMs) return NULL;
    Sleep(50);
  }
}

inline std::wstring BoxText(HWND box) { return WindowText(GetDlgItem(box, 0xFFFF)); }

inline void AnswerBox(HWND box, int button) { PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0); }

inline bool WaitUntilShown(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!IsWindowVisible(window)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

inline bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(20);
  }
  return true;
}

// What a message box showed, and whether one came at all.
struct SeenBox {
  bool appeared;
  std::wstring caption;
  std::wstring text;
  bool hasYes, hasNo, hasOk, hasRetry;
};

inline SeenBox DescribeBox(HWND box) {
  SeenBox seen;
  seen.appeared = box != NULL;
  seen.caption = box ? WindowText(box) : std::wstring();
  seen.text = box ? BoxText(box) : std::wstring();
  seen.hasYes = box && GetDlgItem(box, IDYES) != NULL;
  seen.hasNo = box && GetDlgItem(box, IDNO) != NULL;
  seen.hasOk = box && GetDlgItem(box, IDOK) != NULL;
  seen.hasRetry = box && GetDlgItem(box, IDRETRY) != NULL;
  return seen;
}

// Answers the message boxes of this process from a thread of its own and
// records what each one showed.
class BoxAnswerer {
 public:
  // Every box until the object goes: in order with `answers`, past them with
  // OK where the box has it, else Cancel.
  explicit BoxAnswerer(const std::vector<int>& answers) : answers_(answers), maxBoxes_(0), timeoutMs_(INFINITE) {
    Start();
  }
  // The first box that comes within `timeoutMs`, with `button`; then it stops.
  BoxAnswerer(int button, DWORD timeoutMs) : answers_(1, button), maxBoxes_(1), timeoutMs_(timeoutMs) { Start(); }
  ~BoxAnswerer() {
    InterlockedExchange(&stop_, 1);
    Wait();
    DeleteCriticalSection(&lock_);
  }

  std::vector<SeenBox> Seen() {
    EnterCriticalSection(&lock_);
    std::vector<SeenBox> copy = seen_;
    LeaveCriticalSection(&lock_);
    return copy;
  }
  // For the one-box answerer: waits until it has answered or given up, and
  // hands back the box (`appeared` false when none came).
  SeenBox Join() {
    Wait();
    std::vector<SeenBox> seen = Seen();
    return seen.empty() ? DescribeBox(NULL) : seen[0];
  }

 private:
  BoxAnswerer(const BoxAnswerer&);
  BoxAnswerer& operator=(const BoxAnswerer&);

  void Start() {
    stop_ = 0;
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
  }
  void Wait() {
    if (!thread_) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = NULL;
  }
  static DWORD WINAPI Run(LPVOID self) {
    static_cast<BoxAnswerer*>(self)->Answer();
    return 0;
  }
  void Answer() {
    DWORD start = GetTickCount();
    size_t answered = 0;
    while (!stop_ && (maxBoxes_ == 0 || answered < maxBoxes_)) {
      HWND box = FindMessageBox();
      if (!box) {
        if (timeoutMs_ != INFINITE && GetTickCount() - start > timeoutMs_) return;
        Sleep(30);
        continue;
      }
      SeenBox seen = DescribeBox(box);
      EnterCriticalSection(&lock_);
      seen_.push_back(seen);
      LeaveCriticalSection(&lock_);
      int answer = answered < answers_.size() ? answers_[answered] : (seen.hasOk ? IDOK : IDCANCEL);
      ++answered;
      AnswerBox(box, answer);
      WaitUntilGone(box, 10000);
    }
  }

  std::vector<int> answers_;
  size_t maxBoxes_;  // 0: no limit
  DWORD timeoutMs_;
  volatile LONG stop_;
  CRITICAL_SECTION lock_;
  std::vector<SeenBox> seen_;
  HANDLE thread_;
};

}  // namespace kittest

