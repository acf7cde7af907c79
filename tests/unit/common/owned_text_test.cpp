// The programs' own text type: absent, set, cut, appended, copied and moved.
#include <gtest/gtest.h>

#include "common/owned_text.h"

using qn::OwnedText;

TEST(OwnedText, AbsentSetCutAppendedCopiedAndMoved) {
  OwnedText text;
  EXPECT_FALSE(text.IsPresent());
  EXPECT_STREQ(L"", text.OrEmpty());
  ASSERT_TRUE(text.Append(L".md5"));
  EXPECT_STREQ(L".md5", text.Get());
  ASSERT_TRUE(text.SetN(L"kit.exe and more", 7));
  ASSERT_TRUE(text.Append(L".md5"));
  EXPECT_STREQ(L"kit.exe.md5", text.Get());
  ASSERT_TRUE(text.SetN(text.Get() + 4, 3));  // a piece of itself
  EXPECT_STREQ(L"exe", text.Get());

  OwnedText copy(text);
  ASSERT_TRUE(text.Set(L"changed"));
  EXPECT_STREQ(L"exe", copy.Get());
  OwnedText moved(static_cast<OwnedText&&>(copy));
  EXPECT_STREQ(L"exe", moved.Get());
  EXPECT_FALSE(copy.IsPresent());
  ASSERT_TRUE(moved.Set(NULL));
  EXPECT_FALSE(moved.IsPresent());
}
