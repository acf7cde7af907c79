// GoogleTest's customisation point, found before its own empty copy: the win32
// thread model's C++ library has no std::mutex, so GoogleTest's thread
// hand-off (used by its Windows thread and death-test code) runs on an event.
#pragma once
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventW(NULL, TRUE, FALSE, NULL)) {}
  ~Notification() {
    if (event_) CloseHandle(event_);
  }
  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  Notification(const Notification&);
  Notification& operator=(const Notification&);
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing
