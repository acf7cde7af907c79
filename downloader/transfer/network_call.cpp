#include "downloader/transfer/network_call.h"

namespace {

// After a quit, a call still gets this long to end by itself, so that a server
// that answers keeps the run's old behaviour: a kit file download stops at its
// next notification, a small download completes.
constexpr DWORD kQuitGraceMs = 2000;
// The worker looks at the clock at least this often while it waits.
constexpr DWORD kPollMs = 250;

// A kit file may take hours on a slow line, but never a minute without a
// notification; small files and size queries have no excuse to take long.
NetworkLimits g_limits = {{60000, 0}, {30000, 120000}, {0, 30000}};

// Milliseconds left of a limit that started at `since`; 0 once it is over.
DWORD Left(DWORD limitMs, DWORD since, DWORD now) {
  DWORD spent = now - since;
  return spent >= limitMs ? 0 : limitMs - spent;
}

}  // namespace

const NetworkLimits& CurrentNetworkLimits() { return g_limits; }

NetworkLimits SetNetworkLimits(const NetworkLimits* limits) {
  static const NetworkLimits kProgramLimits = g_limits;
  NetworkLimits previous = g_limits;
  g_limits = limits ? *limits : kProgramLimits;
  return previous;
}

NetworkCall::NetworkCall() { InitializeCriticalSection(&gate_); }

NetworkCall::~NetworkCall() { DeleteCriticalSection(&gate_); }

void NetworkCall::Release() {
  if (InterlockedDecrement(&refs_) == 0) delete this;
}

DWORD WINAPI NetworkCall::ThreadMain(LPVOID parameter) {
  NetworkCall* call = static_cast<NetworkCall*>(parameter);
  call->Perform();
  call->Release();
  return 0;
}

void NetworkCall::NoteActivity() { InterlockedExchange(&lastActivity_, static_cast<LONG>(GetTickCount())); }

bool NetworkCall::EnterIfLive() {
  EnterCriticalSection(&gate_);
  if (!abandoned_) return true;
  LeaveCriticalSection(&gate_);
  return false;
}

void NetworkCall::LeaveGate() { LeaveCriticalSection(&gate_); }

void NetworkCall::Abandon() {
  EnterCriticalSection(&gate_);
  abandoned_ = true;
  LeaveCriticalSection(&gate_);
}

qn::Result NetworkCall::Run(HANDLE cancelEvent, const CallLimits& limits) {
  DWORD start = GetTickCount();
  NoteActivity();
  InterlockedIncrement(&refs_);  // the thread's own
  qn::ScopedHandle thread(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
  if (!thread.Valid()) {
    qn::Result failure = qn::Result::LastError();
    InterlockedDecrement(&refs_);
    return failure;
  }
  HANDLE waits[2] = {thread.Get(), cancelEvent};
  DWORD count = qn::IsKernelHandle(cancelEvent) ? 2 : 1;
  for (;;) {
    DWORD now = GetTickCount();
    bool idleOver = limits.idleMs && Left(limits.idleMs, static_cast<DWORD>(lastActivity_), now) == 0;
    bool totalOver = limits.totalMs && Left(limits.totalMs, start, now) == 0;
    if (idleOver || totalOver) {
      Abandon();
      return qn::Result(qn::kTimedOut);
    }
    DWORD state = WaitForMultipleObjects(count, waits, FALSE, kPollMs);
    if (state == WAIT_OBJECT_0) return qn::Result::Ok();
    if (state == WAIT_OBJECT_0 + 1 || state == WAIT_ABANDONED_0 + 1) {
      if (WaitForSingleObject(thread.Get(), kQuitGraceMs) == WAIT_OBJECT_0) return qn::Result::Ok();
      Abandon();
      return qn::Result(qn::kCancelled);
    }
    if (state == WAIT_FAILED) {
      // Nothing left to wait on reliably: give the call up rather than spin.
      Abandon();
      return qn::Result(qn::kTimedOut);
    }
  }
}
