// Memory behind GuardedString: a pluggable manager, and the one process-wide
// implementation on the standard heap.
#pragma once
#include <cstddef>

namespace qn {

class IMemMgr {
 public:
  virtual void* Allocate(size_t bytes) = 0;
  virtual void* Reallocate(void* block, size_t bytes) = 0;  // null block: allocate
  virtual void Free(void* block) = 0;
  virtual void OnBufferFreed() = 0;  // a string gave up its buffer

 protected:
  ~IMemMgr() = default;
};

class StringMemMgr : public IMemMgr {
 public:
  void* Allocate(size_t bytes) override;
  void* Reallocate(void* block, size_t bytes) override;
  void Free(void* block) override;
  void OnBufferFreed() override {}

  static StringMemMgr* Instance();
};

}  // namespace qn
