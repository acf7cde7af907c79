// Formatting into fixed buffers: the wide meaning of %s, overflow reported and
// never cut silently, and templates whose percent signs must not be trusted.
#include <gtest/gtest.h>

#include <string>

#include "common/fixed_string.h"
#include "common/wide_format.h"

using qn::FormatInto;
using qn::FormatPlaceholders;

TEST(FormatInto, PercentSIsAWideString) {
  wchar_t buf[64];
  ASSERT_TRUE(FormatInto(buf, 64, L"%s|%ls|%d|%lu", L"wide text", L"also", -7, 4000000000ul));
  EXPECT_STREQ(L"wide text|also|-7|4000000000", buf);
  ASSERT_TRUE(FormatInto(buf, 64, L"[%02ld:%02ld:%02ld:%03ld]", 9L, 5L, 3L, 7L));
  EXPECT_STREQ(L"[09:05:03:007]", buf);
  // Non-ASCII characters pass through unchanged.
  ASSERT_TRUE(FormatInto(buf, 64, L"%s", L"\x00e9\x4e2d\x0416"));
  EXPECT_STREQ(L"\x00e9\x4e2d\x0416", buf);
}

TEST(FormatInto, ExactFitAndOverflow) {
  wchar_t buf[8];
  EXPECT_TRUE(FormatInto(buf, 8, L"%s", L"1234567"));
  EXPECT_STREQ(L"1234567", buf);

  qn::CopyText(buf, 8, L"keep");
  EXPECT_FALSE(FormatInto(buf, 8, L"%s", L"12345678"));
  EXPECT_STREQ(L"", buf);  // never a cut text

  qn::CopyText(buf, 8, L"x");
  EXPECT_FALSE(FormatInto(buf, 8, L"%s%s", L"abcd", L"efgh"));
  EXPECT_STREQ(L"", buf);

  // A guard character after a short capacity stays untouched.
  wchar_t guarded[6] = {L'a', L'b', L'c', L'#', L'#', L'#'};
  EXPECT_FALSE(FormatInto(guarded, 3, L"%d", 12345));
  EXPECT_EQ(L'\0', guarded[0]);
  EXPECT_EQ(L'#', guarded[3]);
  EXPECT_EQ(L'#', guarded[5]);

  EXPECT_FALSE(FormatInto(guarded, 0, L"x"));
  EXPECT_FALSE(FormatInto(0, 10, L"x"));
  EXPECT_FALSE(FormatInto(buf, 8, 0));
  EXPECT_STREQ(L"", buf);
}

TEST(FormatInto, LongTextFitsLargeBuffer) {
  std::wstring big(3000, L'k');
  std::wstring out(4000, L'\0');
  ASSERT_TRUE(FormatInto(&out[0], out.size(), L"<%s>", big.c_str()));
  EXPECT_EQ(L"<" + big + L">", std::wstring(out.c_str()));
}

// Only "%s" is filled, each from the next argument (an empty text where there
// is none or it is null); every other percent sign and the arguments' own stay
// as they are.
TEST(FormatPlaceholders, FillsOnlyPercentSFromTheArgumentsInOrder) {
  const wchar_t* two[] = {L"ITEM", L"AFF"};
  const wchar_t* one[] = {L"code"};
  const wchar_t* withNull[] = {0, L"b"};
  const wchar_t* three[] = {L"1", L"2", L"3"};
  const wchar_t* formats[] = {L"%s%n%d", L"second"};
  struct Row {
    const wchar_t* templ;
    const wchar_t* const* args;
    size_t count;
    const wchar_t* expected;
  } rows[] = {
      {L"http://h/a%20b?i=%s&a=%s&x=%n%d%%%", two, 2, L"http://h/a%20b?i=ITEM&a=AFF&x=%n%d%%%"},
      {L"N=%s&A=%s&B=%s", one, 1, L"N=code&A=&B="},
      {L"[%s][%s]", withNull, 2, L"[][b]"},
      {L"only %s", three, 3, L"only 1"},
      {L"none %s", 0, 0, L"none "},
      {L"%s/%s", formats, 2, L"%s%n%d/second"},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    wchar_t buf[64];
    ASSERT_TRUE(FormatPlaceholders(buf, 64, rows[i].templ, rows[i].args, rows[i].count)) << rows[i].templ;
    EXPECT_STREQ(rows[i].expected, buf) << rows[i].templ;
  }
}

TEST(FormatPlaceholders, OverflowLeavesAnEmptyText) {
  wchar_t buf[8];
  const wchar_t* args[] = {L"abc"};
  ASSERT_TRUE(FormatPlaceholders(buf, 8, L"1234%s", args, 1));
  EXPECT_STREQ(L"1234abc", buf);
  EXPECT_FALSE(FormatPlaceholders(buf, 8, L"12345%s", args, 1));
  EXPECT_STREQ(L"", buf);
  EXPECT_FALSE(FormatPlaceholders(buf, 8, L"%s 12345", args, 1));
  EXPECT_STREQ(L"", buf);
  EXPECT_FALSE(FormatPlaceholders(buf, 8, L"123456789", args, 1));
  EXPECT_FALSE(FormatPlaceholders(buf, 8, 0, args, 1));
  EXPECT_FALSE(FormatPlaceholders(buf, 0, L"x", args, 1));
}

