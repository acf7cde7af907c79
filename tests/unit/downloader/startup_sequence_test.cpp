// The affiliate source: the text between square brackets in the file name of
// the program that started the downloader.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/fixed_string.h"
#include "downloader/startup_sequence.h"

namespace {

const wchar_t kUntouched[] = L"untouched";

struct Outcome {
  bool found;
  std::wstring source;
};

Outcome Extract(const wchar_t* path, size_t capacity = MAX_PATH) {
  wchar_t source[MAX_PATH];
  qn::CopyText(source, MAX_PATH, kUntouched);
  Outcome o;
  o.found = ExtractAffiliateSource(path, source, capacity);
  o.source = source;
  return o;
}

}  // namespace

TEST(AffiliateSource, TextBetweenBracketsOfTheFileName) {
  Outcome o = Extract(L"C:\\Users\\me\\Downloads\\KitSetup[aff_123].exe");
  EXPECT_TRUE(o.found);
  EXPECT_EQ(L"aff_123", o.source);

  o = Extract(L"KitSetup[x y].exe");  // no folder at all
  EXPECT_TRUE(o.found);
  EXPECT_EQ(L"x y", o.source);

  // The first "[" and the first "]" after it.
  o = Extract(L"C:\\d\\a]b[c]d[e].exe");
  EXPECT_TRUE(o.found);
  EXPECT_EQ(L"c", o.source);
  o = Extract(L"C:\\d\\kit[a[b]].exe");
  EXPECT_TRUE(o.found);
  EXPECT_EQ(L"a[b", o.source);
}

TEST(AffiliateSource, EmptyBracketsGiveAnEmptySource) {
  Outcome o = Extract(L"C:\\Downloads\\KitSetup[].exe");
  EXPECT_TRUE(o.found);
  EXPECT_EQ(L"", o.source);
}

TEST(AffiliateSource, NoSourceWithoutAPairInTheFileName) {
  const wchar_t* paths[] = {
      L"C:\\Downloads\\KitSetup.exe",
      L"C:\\Downloads\\KitSetup[abc.exe",
      L"C:\\Downloads\\KitSetup]abc[.exe",
      L"C:\\Down[load]s\\KitSetup.exe",  // brackets in a folder only
      L"C:\\Down[loads\\Kit]Setup.exe",  // a pair split across the separator
      L"",
  };
  for (size_t i = 0; i < sizeof(paths) / sizeof(paths[0]); ++i) {
    Outcome o = Extract(paths[i]);
    EXPECT_FALSE(o.found) << i;
    EXPECT_EQ(kUntouched, o.source) << i;
  }
  EXPECT_FALSE(Extract(NULL).found);
}

TEST(AffiliateSource, LongPathsNeverOverrun) {
  // 259 characters: the longest parent path there can be.
  std::wstring tail = L"\\Kit[code].exe";
  std::wstring path = L"C:\\" + std::wstring(259 - 3 - tail.size(), L'f') + tail;
  ASSERT_EQ(259u, path.size());
  Outcome o = Extract(path.c_str());
  EXPECT_TRUE(o.found);
  EXPECT_EQ(L"code", o.source);

  std::wstring tooLong = L"C:\\" + std::wstring(300, L'f') + tail;
  o = Extract(tooLong.c_str());
  EXPECT_FALSE(o.found);
  EXPECT_EQ(kUntouched, o.source);

  // A source longer than the receiving buffer is not cut.
  o = Extract(L"C:\\d\\Kit[abcdef].exe", 6);
  EXPECT_FALSE(o.found);
  EXPECT_EQ(kUntouched, o.source);
  o = Extract(L"C:\\d\\Kit[abcde].exe", 6);
  EXPECT_TRUE(o.found);
  EXPECT_EQ(L"abcde", o.source);
}
