#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "common/fixed_string.h"
#include "common/guarded_string.h"
#include "common/fatal_error.h"
#include "common/string_mem_mgr.h"
#include "tests/unit/support/needs_32bit_code.h"

using qn::GuardedString;
using qn::GuardedStringHeader;
using qn::InPlaceGuardedString;

namespace {

struct FatalErrorRaised {};

void ThrowOnFatal(const wchar_t*) { throw FatalErrorRaised(); }

// Turns the fatal error into an exception for the scope of one test.
class FatalErrorTrap {
 public:
  FatalErrorTrap() : old_(qn::SetFatalErrorHandler(ThrowOnFatal)) {}
  ~FatalErrorTrap() { qn::SetFatalErrorHandler(old_); }

 private:
  qn::FatalErrorHandler old_;
};

// Heap manager that counts its calls and can be told to refuse.
class CountingMemMgr : public qn::IMemMgr {
 public:
  CountingMemMgr()
      : allocations(0), reallocations(0), frees(0), buffersFreed(0), refuseReallocate(false), refuseAllocate(false) {}
  void* Allocate(size_t bytes) {
    ++allocations;
    return refuseAllocate ? 0 : malloc(bytes);
  }
  void* Reallocate(void* block, size_t bytes) {
    ++reallocations;
    return refuseReallocate ? 0 : realloc(block, bytes);
  }
  void Free(void* block) {
    ++frees;
    free(block);
  }
  void OnBufferFreed() { ++buffersFreed; }

  int allocations, reallocations, frees, buffersFreed;
  bool refuseReallocate, refuseAllocate;
};

const char kLayoutIn32BitWords[] = "the guarded string's block is laid out in 32-bit words";

uint32_t WordAt(const GuardedString& s, int offset) {
  uint32_t w;
  memcpy(&w, reinterpret_cast<const uint8_t*>(s.c_str()) - 12 + offset, sizeof(w));
  return w;
}

uint8_t* BlockOf(GuardedString& s) { return reinterpret_cast<uint8_t*>(s.GetBuffer()) - 12; }

std::wstring Repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

}  // namespace

TEST(GuardedStringLayout, GuardsAndHeaderSitAroundTheCharacters) {
  SKIP_UNLESS_32BIT_CODE(kLayoutIn32BitWords);
  GuardedString s;
  s.Assign(L"abc");
  const uint32_t k = s.Capacity();
  EXPECT_EQ(64u, k);
  EXPECT_EQ(qn::kGuardWord, WordAt(s, 0));
  EXPECT_EQ(qn::kGuardWord, WordAt(s, 8));
  EXPECT_EQ(qn::kGuardWord, WordAt(s, 14 + 2 * k));
  GuardedStringHeader* header;
  memcpy(&header, reinterpret_cast<const uint8_t*>(s.c_str()) - 8, sizeof(header));
  EXPECT_EQ(s.Header(), header);
  EXPECT_EQ(3u, header->length);
  EXPECT_EQ(64u, header->growthStep);
  EXPECT_TRUE(header->heapAllocated);
  EXPECT_TRUE(header->ownsHeader);
  EXPECT_EQ(2 * k + 18, GuardedString::BlockBytes(k));
  EXPECT_EQ(0, s.c_str()[k]);  // terminator slot
}

TEST(GuardedStringLayout, InPlaceBlockIsFramedToo) {
  SKIP_UNLESS_32BIT_CODE(kLayoutIn32BitWords);
  InPlaceGuardedString<512> s;
  EXPECT_FALSE(s.IsHeapAllocated());
  EXPECT_EQ(512u, s.Capacity());
  EXPECT_EQ(512u, s.Header()->growthStep);
  EXPECT_FALSE(s.Header()->ownsHeader);
  EXPECT_EQ(0u, s.Length());
  EXPECT_STREQ(L"", s.c_str());
  EXPECT_EQ(qn::kGuardWord, WordAt(s, 0));
  EXPECT_EQ(qn::kGuardWord, WordAt(s, 8));
  EXPECT_EQ(qn::kGuardWord, WordAt(s, 14 + 2 * 512));
}

TEST(GuardedStringGrowth, InPlaceStringMovesToHeapKeepingItsText) {
  InPlaceGuardedString<512> s;
  s.Assign(L"C:\\Kit");
  const wchar_t* inPlace = s.c_str();
  std::wstring tail = L"\\" + Repeat(L'p', 593);  // 600 characters in all
  s.Append(tail.c_str());
  EXPECT_TRUE(s.IsHeapAllocated());
  EXPECT_NE(inPlace, s.c_str());
  EXPECT_EQ(1024u, s.Capacity());
  EXPECT_EQ(600u, s.Length());
  EXPECT_EQ(L"C:\\Kit" + tail, std::wstring(s.c_str()));
  s.CheckGuards();
}

TEST(GuardedStringGrowth, AssignOverInPlaceBufferDoublesIt) {
  InPlaceGuardedString<512> s;
  std::wstring path = Repeat(L'x', 600);
  s.Assign(path.c_str());
  EXPECT_EQ(1024u, s.Capacity());
  EXPECT_EQ(path, std::wstring(s.c_str()));
}

TEST(GuardedStringGrowth, HeapCapacities) {
  GuardedString a;
  a.Assign(Repeat(L'a', 10).c_str());
  EXPECT_EQ(64u, a.Capacity());

  GuardedString b;
  b.Assign(Repeat(L'b', 100).c_str());
  EXPECT_EQ(100u, b.Capacity());

  // Below 1024 a growing string at least doubles.
  GuardedString c;
  c.Assign(Repeat(L'c', 100).c_str());
  c.AppendChar(L'!');
  EXPECT_EQ(200u, c.Capacity());
  EXPECT_EQ(101u, c.Length());

  // From 1024 on it grows by at least 1024.
  GuardedString d;
  d.Assign(Repeat(L'd', 2000).c_str());
  EXPECT_EQ(2000u, d.Capacity());
  d.AppendChar(L'e');
  EXPECT_EQ(3024u, d.Capacity());
  EXPECT_EQ(2001u, d.Length());
  EXPECT_EQ(Repeat(L'd', 2000) + L"e", std::wstring(d.c_str()));

  // A big jump takes exactly what is needed.
  GuardedString e;
  e.Assign(L"x");
  e.Append(Repeat(L'y', 5000).c_str());
  EXPECT_EQ(5001u, e.Capacity());
}

TEST(GuardedStringOps, EmptyTextsAndNullLeaveNoBuffer) {
  GuardedString s;
  s.Append(L"");
  s.Append(0);
  EXPECT_FALSE(s.HasBuffer());
  EXPECT_EQ(0u, s.Length());
  EXPECT_STREQ(L"", s.c_str());
}

TEST(GuardedStringOps, EmptyGivesABufferOfTheGrowthStep) {
  GuardedString s;
  s.Empty();
  EXPECT_TRUE(s.HasBuffer());
  EXPECT_EQ(64u, s.Capacity());
  s.Assign(L"abc");
  s.Empty();
  EXPECT_EQ(0u, s.Length());
  EXPECT_STREQ(L"", s.c_str());
  EXPECT_EQ(64u, s.Capacity());
}

TEST(GuardedStringOps, AssignNullEmptiesAndOwnBufferIsNoOp) {
  GuardedString s;
  s.Assign(L"hello");
  s.Assign(s.c_str());
  EXPECT_STREQ(L"hello", s.c_str());
  EXPECT_EQ(5u, s.Length());
  // A text from inside the own buffer is copied correctly.
  s.Assign(s.c_str() + 2);
  EXPECT_STREQ(L"llo", s.c_str());
  EXPECT_EQ(3u, s.Length());
  s.Assign(0);
  EXPECT_EQ(0u, s.Length());
  EXPECT_STREQ(L"", s.c_str());
}

TEST(GuardedStringOps, AppendingItselfAcrossAReallocationKeepsTheText) {
  GuardedString s;
  std::wstring text = Repeat(L'q', 60);
  s.Assign(text.c_str());
  ASSERT_EQ(64u, s.Capacity());
  s.Append(s.c_str());  // needs 120: the block moves while the source is in it
  EXPECT_EQ(text + text, std::wstring(s.c_str()));
  EXPECT_EQ(120u, s.Length());
}

TEST(GuardedStringOps, GetBufferAndReleaseBufferTrackTheLength) {
  GuardedString s;
  wchar_t* buf = s.GetBuffer();
  ASSERT_TRUE(buf != 0);
  EXPECT_EQ(64u, s.Capacity());
  ASSERT_TRUE(qn::CopyText(buf, s.Capacity() + 1, L"written"));
  s.ReleaseBuffer();
  EXPECT_EQ(7u, s.Length());
  s.Append(L"!");
  EXPECT_STREQ(L"written!", s.c_str());

  // Filling the whole capacity is allowed: the terminator slot is extra.
  buf = s.GetBuffer();
  for (uint32_t i = 0; i < s.Capacity(); ++i) buf[i] = L'z';
  s.ReleaseBuffer();
  EXPECT_EQ(s.Capacity(), s.Length());
}

TEST(GuardedStringOps, DestroyReleasesAndCanStartOver) {
  GuardedString s;
  s.Assign(L"abc");
  s.Destroy();
  EXPECT_FALSE(s.HasBuffer());
  EXPECT_STREQ(L"", s.c_str());
  s.Destroy();  // twice is harmless
  s.Assign(L"again");
  EXPECT_STREQ(L"again", s.c_str());
}

TEST(GuardedStringManager, InPlaceStringFreesOnlyAfterItGrew) {
  CountingMemMgr mgr;
  {
    GuardedStringHeader header;
    uint32_t storage[(12 + 2 * 16 + 6 + 3) / 4];
    GuardedString s;
    s.InitInPlace(&header, storage, 16);
    header.manager = &mgr;
    s.Assign(L"short");
    EXPECT_EQ(0, mgr.reallocations + mgr.allocations);
    s.Destroy();
    EXPECT_EQ(0, mgr.frees);  // the in-place block is never handed to the manager
    EXPECT_EQ(1, mgr.buffersFreed);
  }
  {
    GuardedStringHeader header;
    uint32_t storage[(12 + 2 * 16 + 6 + 3) / 4];
    GuardedString s;
    s.InitInPlace(&header, storage, 16);
    header.manager = &mgr;
    s.Assign(L"0123456789");
    s.Append(L"abcdefghij");
    EXPECT_TRUE(s.IsHeapAllocated());
    EXPECT_EQ(32u, s.Capacity());
    EXPECT_STREQ(L"0123456789abcdefghij", s.c_str());
    EXPECT_EQ(1, mgr.reallocations);  // asked with a null block: a fresh one
    s.Destroy();
    EXPECT_EQ(1, mgr.frees);
    EXPECT_EQ(2, mgr.buffersFreed);
  }
}

TEST(GuardedStringManager, FreshBlockWhenReallocateFails) {
  CountingMemMgr mgr;
  GuardedString s;
  s.Assign(L"keep me");
  GuardedStringHeader* header = s.Header();
  // The block came from the process-wide manager, which shares the C heap.
  header->manager = &mgr;
  mgr.refuseReallocate = true;
  s.Append(Repeat(L'+', 100).c_str());
  EXPECT_EQ(1, mgr.reallocations);
  EXPECT_EQ(1, mgr.allocations);
  EXPECT_EQ(1, mgr.frees);  // the old block
  EXPECT_EQ(L"keep me" + Repeat(L'+', 100), std::wstring(s.c_str()));
  s.CheckGuards();
  s.Destroy();
  EXPECT_EQ(2, mgr.frees);
  EXPECT_EQ(1, mgr.buffersFreed);
}

TEST(GuardedStringManager, ReserveReportsExhaustedMemory) {
  CountingMemMgr mgr;
  GuardedString s;
  s.Assign(L"abc");
  s.Header()->manager = &mgr;
  mgr.refuseReallocate = mgr.refuseAllocate = true;
  EXPECT_FALSE(s.Reserve(1000));
  EXPECT_STREQ(L"abc", s.c_str());  // untouched
  EXPECT_EQ(64u, s.Capacity());
  EXPECT_TRUE(s.Reserve(10));  // fits already
  mgr.refuseReallocate = mgr.refuseAllocate = false;
}

TEST(GuardedStringFatal, FailedGrowthInsideAppendIsFatal) {
  FatalErrorTrap trap;
  CountingMemMgr mgr;
  GuardedString s;
  s.Assign(L"abc");
  s.Header()->manager = &mgr;
  mgr.refuseReallocate = mgr.refuseAllocate = true;
  EXPECT_THROW(s.Append(Repeat(L'x', 200).c_str()), FatalErrorRaised);
  EXPECT_STREQ(L"abc", s.c_str());
}

TEST(GuardedStringFatal, BrokenGuardIsFatal) {
  SKIP_UNLESS_32BIT_CODE(kLayoutIn32BitWords);
  FatalErrorTrap trap;
  const int offsets[] = {0, 8, 14 + 2 * 64};
  for (size_t i = 0; i < 3; ++i) {
    GuardedString s;
    s.Assign(L"abc");
    uint8_t* block = BlockOf(s);
    uint8_t saved = block[offsets[i]];
    block[offsets[i]] ^= 0x5A;
    EXPECT_THROW(s.Append(L"d"), FatalErrorRaised) << "guard at " << offsets[i];
    EXPECT_THROW(s.Destroy(), FatalErrorRaised) << "guard at " << offsets[i];
    block[offsets[i]] = saved;  // lets the destructor release it
  }
}

TEST(GuardedStringFatal, WritingPastTheTerminatorSlotIsFatal) {
  FatalErrorTrap trap;
  GuardedString s;
  wchar_t* buf = s.GetBuffer();
  const uint32_t k = s.Capacity();
  uint8_t* block = BlockOf(s);
  uint8_t saved[4];
  memcpy(saved, block + 14 + 2 * k, 4);
  // A terminated text whose writer ran one character into the trailing guard.
  for (uint32_t i = 0; i < k; ++i) buf[i] = L'w';
  buf[k] = L'\0';
  buf[k + 1] = L'w';
  EXPECT_THROW(s.ReleaseBuffer(), FatalErrorRaised);
  memcpy(block + 14 + 2 * k, saved, 4);
  s.ReleaseBuffer();
  EXPECT_EQ(k, s.Length());
}

TEST(GuardedStringFatal, NoTerminatorWithinCapacityIsFatal) {
  FatalErrorTrap trap;
  GuardedString s;
  wchar_t* buf = s.GetBuffer();
  const uint32_t k = s.Capacity();
  for (uint32_t i = 0; i <= k; ++i) buf[i] = L'w';  // the terminator slot too
  EXPECT_THROW(s.ReleaseBuffer(), FatalErrorRaised);
  buf[k] = L'\0';
}
