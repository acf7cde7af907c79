#include "common/guarded_string.h"

#include <new>
#include <string.h>

#include "common/fatal_error.h"

namespace qn {
namespace {

constexpr uint32_t kLargeStringThreshold = 1024;

uint32_t ReadWord(const uint8_t* p) {
  uint32_t w;
  memcpy(&w, p, sizeof(w));
  return w;
}

void WriteWord(uint8_t* p, uint32_t w) { memcpy(p, &w, sizeof(w)); }

}  // namespace

uint32_t GuardedString::PrefixBytes() { return 4 + sizeof(void*) + 4; }

uint32_t GuardedString::BlockBytes(uint32_t capacity) {
  return PrefixBytes() + 2 * capacity + 2 + 4;
}

uint8_t* GuardedString::Block() const {
  return chars_ ? reinterpret_cast<uint8_t*>(chars_) - PrefixBytes() : nullptr;
}

GuardedStringHeader* GuardedString::Header() const {
  if (!chars_) return nullptr;
  GuardedStringHeader* header;
  memcpy(&header, Block() + 4, sizeof(header));
  return header;
}

uint32_t GuardedString::Length() const {
  GuardedStringHeader* h = Header();
  return h ? h->length : 0;
}

uint32_t GuardedString::Capacity() const {
  GuardedStringHeader* h = Header();
  return h ? h->capacity : 0;
}

bool GuardedString::IsHeapAllocated() const {
  GuardedStringHeader* h = Header();
  return h && h->heapAllocated;
}

void GuardedString::InitInPlace(GuardedStringHeader* header, void* storage, uint32_t capacity) {
  Destroy();
  header->manager = StringMemMgr::Instance();
  header->length = 0;
  header->capacity = capacity;
  header->growthStep = capacity;
  header->heapAllocated = false;
  header->ownsHeader = false;
  uint8_t* block = static_cast<uint8_t*>(storage);
  WriteWord(block, kGuardWord);
  memcpy(block + 4, &header, sizeof(header));
  WriteWord(block + 4 + sizeof(void*), kGuardWord);
  chars_ = reinterpret_cast<wchar_t*>(block + PrefixBytes());
  chars_[0] = L'\0';
  chars_[capacity] = L'\0';
  WriteWord(block + PrefixBytes() + 2 * capacity + 2, kGuardWord);
}

void GuardedString::CheckGuards() const {
  GuardedStringHeader* h = Header();
  if (!h) return;
  const uint8_t* block = Block();
  if (ReadWord(block) != kGuardWord || ReadWord(block + 4 + sizeof(void*)) != kGuardWord ||
      ReadWord(block + PrefixBytes() + 2 * h->capacity + 2) != kGuardWord) {
    FatalError(L"GuardedString: guard word overwritten");
  }
}

bool GuardedString::Reallocate(uint32_t newCapacity) {
  GuardedStringHeader* header = Header();
  bool createdHeader = false;
  if (!header) {
    header = new (std::nothrow) GuardedStringHeader();
    if (!header) return false;
    header->manager = StringMemMgr::Instance();
    header->length = 0;
    header->capacity = 0;
    header->growthStep = kHeapGrowthStep;
    header->heapAllocated = false;
    header->ownsHeader = true;
    createdHeader = true;
  }
  // Sizes beyond 32 bits cannot be framed; treat them as a failed allocation.
  if (newCapacity > (0xFFFFFFFFu - PrefixBytes() - 6) / 2) {
    if (createdHeader) delete header;
    return false;
  }
  uint8_t* oldBlock = Block();
  uint8_t* oldHeapBlock = (oldBlock && header->heapAllocated) ? oldBlock : nullptr;
  uint32_t oldBytes = oldBlock ? BlockBytes(header->capacity) : 0;
  uint32_t size = BlockBytes(newCapacity);

  uint8_t* block = static_cast<uint8_t*>(header->manager->Reallocate(oldHeapBlock, size));
  if (!block) {
    block = static_cast<uint8_t*>(header->manager->Allocate(size));
    if (!block) {
      if (createdHeader) delete header;
      return false;
    }
    if (oldHeapBlock) {
      memcpy(block, oldHeapBlock, size < oldBytes ? size : oldBytes);
      header->manager->Free(oldHeapBlock);
    }
  }
  if (!oldHeapBlock) {
    memset(block, 0, size);
    if (oldBlock) memcpy(block, oldBlock, size < oldBytes ? size : oldBytes);
  }
  WriteWord(block, kGuardWord);
  memcpy(block + 4, &header, sizeof(header));
  WriteWord(block + 4 + sizeof(void*), kGuardWord);
  chars_ = reinterpret_cast<wchar_t*>(block + PrefixBytes());
  chars_[newCapacity] = L'\0';
  WriteWord(block + PrefixBytes() + 2 * newCapacity + 2, kGuardWord);
  header->capacity = newCapacity;
  header->heapAllocated = true;
  if (header->length > newCapacity) header->length = newCapacity;
  return true;
}

bool GuardedString::Reserve(uint32_t n) {
  GuardedStringHeader* h = Header();
  uint32_t capacity = h ? h->capacity : 0;
  uint32_t growth = h ? h->growthStep : kHeapGrowthStep;
  if (capacity >= n && capacity > 0) return true;
  uint32_t delta = n - capacity;
  if (delta < growth) delta = growth;
  uint32_t newCapacity;
  if (capacity < kLargeStringThreshold && delta < capacity) {
    newCapacity = 2 * capacity;
  } else {
    if (capacity >= kLargeStringThreshold && delta < kLargeStringThreshold) {
      delta = kLargeStringThreshold;
    }
    if (delta > 0xFFFFFFFFu - capacity) return false;
    newCapacity = capacity + delta;
  }
  return Reallocate(newCapacity);
}

void GuardedString::ReserveOrDie(uint32_t n) {
  if (!Reserve(n)) FatalError(L"GuardedString: out of memory");
}

void GuardedString::Empty() {
  if (!chars_ || Capacity() == 0) ReserveOrDie(0);
  Header()->length = 0;
  chars_[0] = L'\0';
  CheckGuards();
}

void GuardedString::Assign(const wchar_t* text) {
  if (!text) {
    Empty();
    return;
  }
  if (text == chars_) return;
  size_t len = wcslen(text);
  if (len > 0xFFFFFFF0u) FatalError(L"GuardedString: text too long");
  // A text inside our own buffer stays valid: it fits, so no reallocation.
  ReserveOrDie(static_cast<uint32_t>(len));
  memmove(chars_, text, len * sizeof(wchar_t));
  chars_[len] = L'\0';
  Header()->length = static_cast<uint32_t>(len);
  CheckGuards();
}

void GuardedString::Append(const wchar_t* text) {
  if (!text || !*text) return;
  size_t len = wcslen(text);
  uint32_t have = Length();
  if (len > 0xFFFFFFF0u - have) FatalError(L"GuardedString: text too long");
  // Appending a piece of ourselves: remember where it sits, the block may move.
  bool inside = chars_ && text >= chars_ && text <= chars_ + Capacity();
  size_t offset = inside ? static_cast<size_t>(text - chars_) : 0;
  ReserveOrDie(have + static_cast<uint32_t>(len));
  if (inside) text = chars_ + offset;
  memmove(chars_ + have, text, len * sizeof(wchar_t));
  chars_[have + len] = L'\0';
  Header()->length = have + static_cast<uint32_t>(len);
  CheckGuards();
}

void GuardedString::AppendChar(wchar_t c) {
  uint32_t have = Length();
  ReserveOrDie(have + 1);
  chars_[have] = c;
  chars_[have + 1] = L'\0';
  Header()->length = have + 1;
  CheckGuards();
}

wchar_t* GuardedString::GetBuffer() {
  if (!chars_) Reserve(0);
  return chars_;
}

void GuardedString::ReleaseBuffer() {
  GuardedStringHeader* h = Header();
  if (!h) return;
  uint32_t len = 0;
  while (len <= h->capacity && chars_[len] != L'\0') ++len;
  if (len > h->capacity) FatalError(L"GuardedString: length beyond capacity");
  h->length = len;
  CheckGuards();
}

void GuardedString::Destroy() {
  GuardedStringHeader* h = Header();
  if (chars_ && h) {
    CheckGuards();
    if (h->heapAllocated) h->manager->Free(Block());
    h->manager->OnBufferFreed();
    if (h->ownsHeader) delete h;
  }
  chars_ = nullptr;
}

}  // namespace qn
