#include <gtest/gtest.h>

#include <string>

#include "common/option_map.h"

using qn::OptionMap;

namespace {

// The value as a text of its own, for comparisons.
std::wstring ValueOf(const OptionMap& map, const std::wstring& name) { return map.GetOptionValue(name.c_str()); }

}  // namespace

TEST(OptionMap, EmptyOrBlankCommandLineHasNoOptions) {
  const wchar_t* lines[] = {L"", L" ", L"     ", L"stray text only", L"log:x -log \"/log\""};
  for (size_t i = 0; i < sizeof(lines) / sizeof(lines[0]); ++i) {
    OptionMap map(lines[i]);
    EXPECT_EQ(0u, map.Count()) << "line " << i;
    EXPECT_FALSE(map.HasOption(L"log"));
    EXPECT_EQ(L"", ValueOf(map, L"log"));
  }
}

TEST(OptionMap, NamesAreCaseSensitiveAndTakenAsTyped) {
  OptionMap map(L"/LOG /Wow64 /run:x");
  EXPECT_FALSE(map.HasOption(L"log"));
  EXPECT_FALSE(map.HasOption(L"wow64"));
  EXPECT_TRUE(map.HasOption(L"LOG"));
  EXPECT_TRUE(map.HasOption(L"Wow64"));
  EXPECT_EQ(L"x", ValueOf(map, L"run"));
  EXPECT_EQ(L"", ValueOf(map, L"Run"));
}

TEST(OptionMap, FirstOfTwoEqualNamesWins) {
  OptionMap map(L"/log /log:C:\\x.txt /run:a /run:b");
  EXPECT_TRUE(map.HasOption(L"log"));
  EXPECT_EQ(L"", ValueOf(map, L"log"));
  EXPECT_EQ(L"a", ValueOf(map, L"run"));
  EXPECT_EQ(2u, map.Count());
}

TEST(OptionMap, OnlyWordsStartingWithSlashAreOptions) {
  OptionMap map(L"before -log:x log:y /args:z after");
  EXPECT_EQ(1u, map.Count());
  EXPECT_FALSE(map.HasOption(L"log"));
  EXPECT_FALSE(map.HasOption(L"-log"));
  EXPECT_EQ(L"z", ValueOf(map, L"args"));
}

TEST(OptionMap, SpacesSeparateButTabsBelongToTheWord) {
  // Leading, doubled and trailing spaces give empty words, which are skipped.
  OptionMap map(L"  /a:1   /b:2  ");
  EXPECT_EQ(2u, map.Count());
  EXPECT_EQ(L"1", ValueOf(map, L"a"));
  EXPECT_EQ(L"2", ValueOf(map, L"b"));

  OptionMap tabs(L"/a:1\t/b:2 \t/c");
  EXPECT_EQ(L"1\t/b:2", ValueOf(tabs, L"a"));
  EXPECT_FALSE(tabs.HasOption(L"b"));
  EXPECT_FALSE(tabs.HasOption(L"c"));  // the word "\t/c" does not start with a slash
  EXPECT_EQ(1u, tabs.Count());
}

TEST(OptionMap, LoneSlashStoresEmptyName) {
  OptionMap map(L"/ /x");
  EXPECT_TRUE(map.HasOption(L""));
  EXPECT_EQ(L"", ValueOf(map, L""));
  EXPECT_TRUE(map.HasOption(L"x"));
}

// One closing colon is dropped; unquoting drops the first and the last
// character, whatever the last one is.
TEST(OptionMap, ColonAndQuoteRules) {
  struct Case {
    const wchar_t* line;
    const wchar_t* value;
  } cases[] = {
      {L"/x", L""},
      {L"/x:", L""},
      {L"/x:a", L"a"},
      {L"/x:a:b", L"a:b"},
      {L"/x:a:", L"a"},
      {L"/x::", L""},
      {L"/x:::", L":"},
      {L"/x:\"C:\"", L"C:"},
      {L"/x:\"a:\"", L"a:"},
      {L"/x:\"\"", L""},
      {L"/x:C:\\dir\\file.txt", L"C:\\dir\\file.txt"},
      {L"/x:\"", L""},
      {L"/x:\"abc", L"ab"},
      {L"/x:\"a\"b\"", L"a\"b"},
      {L"/x:a\"b\"", L"a\"b\""},  // a quote that does not open the value stays
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    OptionMap map(cases[i].line);
    EXPECT_TRUE(map.HasOption(L"x")) << cases[i].line;
    EXPECT_EQ(std::wstring(cases[i].value), ValueOf(map, L"x")) << cases[i].line;
    EXPECT_EQ(1u, map.Count()) << cases[i].line;
  }
  // The name is never unquoted and ends at the first colon.
  OptionMap quotedName(L"/\"n\":v");
  EXPECT_EQ(L"v", ValueOf(quotedName, L"\"n\""));
}

TEST(OptionMap, QuotedRunsKeepTheirSpacesExactly) {
  OptionMap map(L"/run:\"C:\\Program Files\\Kit\\kitfetcher.exe\" /args:\"/after_restart\"");
  EXPECT_EQ(L"C:\\Program Files\\Kit\\kitfetcher.exe", ValueOf(map, L"run"));
  EXPECT_EQ(L"/after_restart", ValueOf(map, L"args"));
  EXPECT_FALSE(map.HasOption(L"after_restart"));
  EXPECT_EQ(2u, map.Count());

  EXPECT_EQ(L"a  b", ValueOf(OptionMap(L"/args:\"a  b\""), L"args"));
  EXPECT_EQ(L"a   b  c ", ValueOf(OptionMap(L"/args:\"a   b  c \" /z"), L"args"));
  EXPECT_EQ(L"C:\\My Files\\setup.exe", ValueOf(OptionMap(L"/run:\"C:\\My Files\\setup.exe\""), L"run"));
}

TEST(OptionMap, QuoteInsideClosingWordEndsTheRun) {
  // The run closes at def"ghi; unquoting drops the leading quote and the final i.
  OptionMap map(L"/x:\"abc /y def\"ghi /z:1");
  EXPECT_EQ(L"abc /y def\"gh", ValueOf(map, L"x"));
  EXPECT_FALSE(map.HasOption(L"y"));
  EXPECT_EQ(L"1", ValueOf(map, L"z"));
}

TEST(OptionMap, WordEndingInQuoteIsNotJoined) {
  OptionMap map(L"/x:\"a\" /y:\" /z");
  EXPECT_EQ(L"a", ValueOf(map, L"x"));
  // /y:" both holds and ends with a quote: it stands alone and unquotes to empty.
  EXPECT_TRUE(map.HasOption(L"y"));
  EXPECT_EQ(L"", ValueOf(map, L"y"));
  EXPECT_TRUE(map.HasOption(L"z"));
}

TEST(OptionMap, StrayQuotedWordSwallowsFollowingOptions) {
  OptionMap map(L"ab\"c /log /run:x d\"e /args:y");
  EXPECT_FALSE(map.HasOption(L"log"));
  EXPECT_FALSE(map.HasOption(L"run"));
  EXPECT_EQ(L"y", ValueOf(map, L"args"));
  EXPECT_EQ(1u, map.Count());
}

TEST(OptionMap, UnclosedQuoteEndsWithTheCommandLine) {
  OptionMap map(L"/a:1 /x:\"abc /log /run:y");
  EXPECT_EQ(L"1", ValueOf(map, L"a"));
  EXPECT_FALSE(map.HasOption(L"log"));
  EXPECT_FALSE(map.HasOption(L"run"));

  OptionMap trailing(L"/x:\"abc ");
  EXPECT_FALSE(trailing.HasOption(L"abc"));
  EXPECT_LE(trailing.Count(), 1u);
}

TEST(OptionMap, LongCommandLinesParseCompletely) {
  // 2,000 characters: many options, then an unclosed quote swallowing the rest.
  std::wstring line;
  int n = 0;
  while (line.size() < 1500) {
    line += L"/o" + std::to_wstring(n) + L":v" + std::to_wstring(n) + L" ";
    ++n;
  }
  line += L"/open:\"";
  while (line.size() < 2000) line += L"w /q ";
  line.resize(2000);
  OptionMap map(line.c_str());
  EXPECT_EQ(L"v0", ValueOf(map, L"o0"));
  EXPECT_EQ(L"v" + std::to_wstring(n - 1), ValueOf(map, L"o" + std::to_wstring(n - 1)));
  EXPECT_FALSE(map.HasOption(L"q"));
  EXPECT_GE(map.Count(), static_cast<size_t>(n));
  EXPECT_LE(map.Count(), static_cast<size_t>(n + 1));

  // One long quoted value with runs of spaces survives in full.
  std::wstring inner;
  for (int i = 0; i < 400; ++i) inner += (i % 3 == 0) ? L"ab  " : L"c ";
  OptionMap quoted((L"/args:\"" + inner + L"\"").c_str());
  EXPECT_EQ(inner, ValueOf(quoted, L"args"));
}
