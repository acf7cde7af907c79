#include "common/fatal_error.h"

#include <windows.h>

namespace qn {
namespace {

[[noreturn]] void DefaultFatalError(const wchar_t* what) {
  OutputDebugStringW(L"[FATAL] ");
  OutputDebugStringW(what);
  OutputDebugStringA("\n");
  TerminateProcess(GetCurrentProcess(), 3);
  ExitProcess(3);
}

FatalErrorHandler g_fatalHandler = DefaultFatalError;

}  // namespace

void FatalError(const wchar_t* what) {
  g_fatalHandler(what);
  // A handler that returns must not let the corrupted operation go on.
  DefaultFatalError(what);
}

FatalErrorHandler SetFatalErrorHandler(FatalErrorHandler handler) {
  FatalErrorHandler old = g_fatalHandler;
  g_fatalHandler = handler ? handler : DefaultFatalError;
  return old;
}

}  // namespace qn
