#include "common/string_mem_mgr.h"

#include <stdlib.h>

namespace qn {

void* StringMemMgr::Allocate(size_t bytes) { return malloc(bytes); }
void* StringMemMgr::Reallocate(void* block, size_t bytes) { return realloc(block, bytes); }
void StringMemMgr::Free(void* block) { free(block); }

StringMemMgr* StringMemMgr::Instance() {
  static StringMemMgr instance;
  return &instance;
}

}  // namespace qn
