// The programs' own growable array, holding owned texts.
#include <gtest/gtest.h>

#include <string>

#include "common/growable_array.h"
#include "common/owned_text.h"

using qn::Array;
using qn::OwnedText;

TEST(Array, GrowsAndInsertsInOrderWithTheTextsItHolds) {
  Array<OwnedText> texts;
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(texts.push_back(OwnedText(std::to_wstring(i).c_str())));
  ASSERT_TRUE(texts.insert(0, OwnedText(L"first")));
  ASSERT_TRUE(texts.insert(11, OwnedText(L"middle")));
  ASSERT_TRUE(texts.insert(texts.size(), OwnedText(L"last")));
  EXPECT_FALSE(texts.insert(texts.size() + 1, OwnedText(L"beyond")));
  // An element of its own, added while the array grows.
  while (texts.size() < 32) ASSERT_TRUE(texts.push_back(OwnedText(L"pad")));
  ASSERT_TRUE(texts.push_back(texts[0]));

  ASSERT_EQ(33u, texts.size());
  std::wstring order;
  for (size_t i = 0; i < 24; ++i) order += std::wstring(texts[i].Get()) + L" ";
  EXPECT_EQ(L"first 0 1 2 3 4 5 6 7 8 9 middle 10 11 12 13 14 15 16 17 18 19 last pad ", order);
  EXPECT_STREQ(L"first", texts.back().Get());
  texts.clear();
  EXPECT_TRUE(texts.empty());
}
