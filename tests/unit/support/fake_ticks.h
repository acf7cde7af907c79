// A millisecond clock the test moves by hand, in place of GetTickCount for the
// transfer speed samples while the object lives: no test waits for real time.
#pragma once
#include <windows.h>

#include "downloader/transfer/transfer_counters.h"

namespace kittest {

class FakeTicks {
 public:
  explicit FakeTicks(DWORD start) {
    Value() = start;
    previous_ = SetTickSource(&Now);
  }
  ~FakeTicks() { SetTickSource(previous_); }
  void Advance(DWORD ms) { Value() += ms; }

 private:
  FakeTicks(const FakeTicks&);
  FakeTicks& operator=(const FakeTicks&);
  static DWORD& Value() {
    static DWORD value = 0;
    return value;
  }
  static DWORD WINAPI Now() { return Value(); }
  TickSource previous_;
};

}  // namespace kittest
