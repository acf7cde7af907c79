#include "common/string_mem_mgr.h"

#include <stdlib.h>
#include <windows.h>

namespace qn {
namespace {

void DefaultFatalError(const wchar_t* what) {
  OutputDebugStringW(L"[FATAL] ");
  OutputDebugStringW(what);
  OutputDebugStringA("\n");
  TerminateProcess(GetCurrentProcess(), 3);
}

FatalErrorHandler g_fatalHandler = DefaultFatalError;

}  // namespace

void* StringMemMgr::Allocate(size_t bytes) { return malloc(bytes); }
void* StringMemMgr::Reallocate(void* block, size_t bytes) { return realloc(block, bytes); }
void StringMemMgr::Free(void* block) { free(block); }

StringMemMgr* StringMemMgr::Instance() {
  static StringMemMgr instance;
  return &instance;
}

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
