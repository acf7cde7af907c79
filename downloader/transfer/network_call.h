// Network calls the worker can walk away from.
//
// Threading: a call is made on the worker thread with Run(), which performs it
// on a thread of its own and waits for whichever comes first: the call's end,
// the user's quit (the cancel event), or the call's time limit. A server that
// sends nothing, drips its headers or floods them would otherwise hold the
// worker, and with it the whole run, for as long as it likes.
//
// A call walked away from is left to end by itself. Everything its thread
// writes lives in the call object, which the thread keeps alive with a
// reference of its own; once abandoned, the thread touches nothing of the run
// (no counters, no log, no setup state: see EnterIfLive), and the process ends
// it when it exits.
#pragma once
#include <windows.h>

#include "common/result.h"
#include "common/scoped_handles.h"

struct CallLimits {
  DWORD idleMs;   // longest wait for a sign of life (NoteActivity); 0: no such limit
  DWORD totalMs;  // longest wait in all; 0: no such limit
};

class NetworkCall {
 public:
  NetworkCall();
  NetworkCall(const NetworkCall&) = delete;
  NetworkCall& operator=(const NetworkCall&) = delete;

  // On the worker thread: performs the call and waits (see above). S_OK once
  // Perform has returned and its results may be read; qn::kCancelled when the
  // user quit first, qn::kTimedOut when the call showed no sign of life within
  // the idle limit or went over the total limit, or the error of a thread
  // that could not be made. The cancel event may be null (the call cannot be
  // cancelled then). After any failure the call is abandoned and its results
  // must not be read.
  qn::Result Run(HANDLE cancelEvent, const CallLimits& limits);

  // The object is shared with the call's thread: the worker calls Release
  // instead of deleting it.
  void Release();

  // On the call's thread: the server showed a sign of life.
  void NoteActivity();
  // On the call's thread, around anything that touches the run's state: true,
  // with the gate held until LeaveGate, while the call is not abandoned.
  [[nodiscard]] bool EnterIfLive();
  void LeaveGate();

 protected:
  virtual ~NetworkCall();
  // The blocking work, on the call's own thread.
  virtual void Perform() = 0;

 private:
  static DWORD WINAPI ThreadMain(LPVOID call);
  void Abandon();

  volatile LONG refs_ = 1;
  volatile LONG lastActivity_ = 0;
  CRITICAL_SECTION gate_;
  bool abandoned_ = false;
  qn::ScopedHandle done_;
};

// Tests shorten the limits to see them work; null puts the program's back.
// Returns the limits in force before.
struct NetworkLimits {
  CallLimits kitFile;       // a counted kit file download
  CallLimits smallFile;     // productcode.txt, .md5 files, the manifest
  CallLimits sizeQuery;     // the HEAD request for a file's size
};
const NetworkLimits& CurrentNetworkLimits();
NetworkLimits SetNetworkLimits(const NetworkLimits* limits);
