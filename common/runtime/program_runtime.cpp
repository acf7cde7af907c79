// The C++ runtime's memory entry points for the two programs, linked into them
// alone (the tests keep the standard library's, whose exceptions GoogleTest
// needs). Built without exceptions and RTTI, the programs then carry none of
// the library's exception, unwinding and name-demangling machinery.
//
// Memory comes from the C runtime's heap. A throwing allocation that fails ends
// the process, as an uncaught bad_alloc did before; the nothrow forms answer
// null, which their callers check.
#include <new>
#include <stdlib.h>

#include "common/fatal_error.h"

namespace {

void* AllocateOrDie(size_t bytes) {
  void* block = malloc(bytes ? bytes : 1);
  if (!block) qn::FatalError(L"out of memory");
  return block;
}

void* AllocateOrNull(size_t bytes) { return malloc(bytes ? bytes : 1); }

}  // namespace

void* operator new(size_t bytes) { return AllocateOrDie(bytes); }
void* operator new[](size_t bytes) { return AllocateOrDie(bytes); }
void* operator new(size_t bytes, const std::nothrow_t&) noexcept { return AllocateOrNull(bytes); }
void* operator new[](size_t bytes, const std::nothrow_t&) noexcept { return AllocateOrNull(bytes); }

void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

// A call through a vtable slot that was never filled: memory is corrupt.
extern "C" void __cxa_pure_virtual() { qn::FatalError(L"pure virtual call"); }
