// A growable wide string whose buffer is framed by guard words, checked on the
// main operations, and which can start on an in-place buffer.
//
// Block layout (offsets in bytes, capacity K):
//   0              guard 0x0000ABCD
//   4              pointer to the GuardedStringHeader
//   4+sizeof(ptr)  guard 0x0000ABCD
//   then 2*K characters, a terminator slot, and a trailing guard.
#pragma once
#include <stdint.h>
#include <wchar.h>

#include "common/string_mem_mgr.h"

namespace qn {

struct GuardedStringHeader {
  IMemMgr* manager;
  uint32_t length;
  uint32_t capacity;
  uint32_t growthStep;
  bool heapAllocated;
  bool ownsHeader;
};

constexpr uint32_t kGuardWord = 0x0000ABCD;
constexpr uint32_t kHeapGrowthStep = 64;

class GuardedString {
 public:
  GuardedString() = default;
  GuardedString(const GuardedString&) = delete;
  GuardedString& operator=(const GuardedString&) = delete;
  ~GuardedString() { Destroy(); }

  // Sets the string up on caller-owned storage: `storage` must hold
  // BlockBytes(capacity) bytes and outlive the string's use of it.
  void InitInPlace(GuardedStringHeader* header, void* storage, uint32_t capacity);

  bool Reserve(uint32_t n);
  void Empty();
  void Assign(const wchar_t* text);
  void Append(const wchar_t* text);
  void AppendChar(wchar_t c);
  wchar_t* GetBuffer();
  void ReleaseBuffer();
  void Destroy();

  const wchar_t* c_str() const { return chars_ ? chars_ : L""; }
  uint32_t Length() const;
  uint32_t Capacity() const;
  bool HasBuffer() const { return chars_ != nullptr; }
  bool IsHeapAllocated() const;
  GuardedStringHeader* Header() const;

  // Bytes a block of `capacity` characters takes.
  static uint32_t BlockBytes(uint32_t capacity);
  static uint32_t PrefixBytes();
  // Verifies the three guards; a broken one is fatal.
  void CheckGuards() const;

 private:
  bool Reallocate(uint32_t newCapacity);
  void ReserveOrDie(uint32_t n);
  uint8_t* Block() const;

  wchar_t* chars_ = nullptr;
};

// A string that starts on an in-place buffer of N characters and moves to the
// heap only when it outgrows it.
template <uint32_t N>
class InPlaceGuardedString : public GuardedString {
 public:
  InPlaceGuardedString() { InitInPlace(&header_, storage_, N); }
  // Released while the in-place header and storage are still alive.
  ~InPlaceGuardedString() { Destroy(); }

 private:
  GuardedStringHeader header_;
  // Prefix, N characters, terminator, trailing guard; kept aligned for the guards.
  uint32_t storage_[(16 + 2 * N + 2 + 4 + 3) / 4];
};

}  // namespace qn
