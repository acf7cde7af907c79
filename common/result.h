// How an operation of the programs went, in the one currency all of them use:
// an HRESULT. S_OK is success; a failure carries the code that stopped it (a
// Win32 error as HRESULT_FROM_WIN32, a COM or URL-moniker failure as it came),
// so that whoever first sees it can log it once and everyone up the chain
// passes it on unchanged. Operations whose callers, logs and stored files read
// codes of their own (CheckFileUpdate's 1 and 0, 5006 for a failed product code
// download, 1003 for a failed removal, the registry services' and the size
// query's Win32 codes) keep them at that boundary. Predicates, and the
// fixed-buffer writes that answer whether a text fit, stay bool.
//
// Threading: a value; no shared state.
#pragma once
#include <windows.h>

namespace qn {

class [[nodiscard]] Result {
 public:
  constexpr Result() : code_(S_OK) {}
  constexpr explicit Result(HRESULT code) : code_(code) {}

  static constexpr Result Ok() { return Result(); }
  static Result FromWin32(DWORD error) { return Result(error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error)); }
  // The calling thread's last error; a failure even when a caller forgot to
  // set one, so that a failed call never reads as a success.
  static Result LastError() {
    DWORD error = GetLastError();
    return Result(error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error));
  }

  constexpr bool Succeeded() const { return code_ == S_OK; }
  constexpr bool Failed() const { return code_ != S_OK; }
  constexpr HRESULT Code() const { return code_; }
  // The Win32 error a failure came from, or the code itself.
  constexpr DWORD Win32Error() const {
    return HRESULT_FACILITY(code_) == FACILITY_WIN32 ? HRESULT_CODE(code_) : static_cast<DWORD>(code_);
  }
  constexpr bool Is(HRESULT code) const { return code_ == code; }
  // `if (!Step())` and `a && b` read as they did with bool.
  constexpr explicit operator bool() const { return Succeeded(); }

 private:
  HRESULT code_;
};

// Failures the programs name themselves.
constexpr HRESULT kCancelled = __HRESULT_FROM_WIN32(ERROR_CANCELLED);      // the user quit
constexpr HRESULT kTimedOut = __HRESULT_FROM_WIN32(ERROR_TIMEOUT);        // a server took too long
constexpr HRESULT kDoesNotFit = __HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);  // a text or path too long
constexpr HRESULT kNoMemory = E_OUTOFMEMORY;
constexpr HRESULT kRefused = __HRESULT_FROM_WIN32(ERROR_INVALID_DATA);     // input that fails a check

}  // namespace qn
