// GoogleTest's Notification is built on std::mutex, which a mingw-w64 runtime
// with the win32 thread model does not provide. This one, on a manual-reset
// event, is put in front of GoogleTest's own headers where that is the case.
#ifndef KIT_GTEST_WIN32_NOTIFICATION_H
#define KIT_GTEST_WIN32_NOTIFICATION_H
#ifdef __cplusplus
#include "common/scoped_handles.h"

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventW(NULL, TRUE, FALSE, NULL)) {}
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { SetEvent(event_.Get()); }
  void WaitForNotification() { WaitForSingleObject(event_.Get(), INFINITE); }

 private:
  qn::ScopedHandle event_;
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
#endif
#endif
