#include <gtest/gtest.h>

#include <string>

#include "common/fixed_string.h"

using qn::JoinPath;

TEST(JoinPath, OneBackslashBetweenFolderAndLeaf) {
  wchar_t out[64];
  struct Case {
    const wchar_t* folder;
    const wchar_t* leaf;
    const wchar_t* joined;
  } cases[] = {
      {L"C:\\Kit", L"locations.xml", L"C:\\Kit\\locations.xml"},
      {L"C:\\Kit\\", L"locations.xml", L"C:\\Kit\\locations.xml"},
      {L"C:\\Kit/", L"a.txt", L"C:\\Kit/a.txt"},
      {L"", L"downloaderlog.txt", L"downloaderlog.txt"},
      {L"C:\\Kit", L"", L"C:\\Kit"},
      {L"C:\\Kit", L"sub\\file.md5", L"C:\\Kit\\sub\\file.md5"},
      {L"C:\\", L"x", L"C:\\x"},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    ASSERT_TRUE(JoinPath(out, 64, cases[i].folder, cases[i].leaf)) << i;
    EXPECT_STREQ(cases[i].joined, out) << i;
  }
  ASSERT_TRUE(JoinPath(out, 64, 0, L"leaf"));
  EXPECT_STREQ(L"leaf", out);
  ASSERT_TRUE(JoinPath(out, 64, L"dir", 0));
  EXPECT_STREQ(L"dir", out);
}

TEST(JoinPath, OutputMayBeTheFolderBuffer) {
  wchar_t path[64] = L"C:\\Program Files\\Kit";
  ASSERT_TRUE(JoinPath(path, 64, path, L"Installer.exe"));
  EXPECT_STREQ(L"C:\\Program Files\\Kit\\Installer.exe", path);
}

TEST(JoinPath, TooLongLeavesTheOutputUntouched) {
  wchar_t out[10] = L"before";
  // "abcd" + "\" + "efgh" = 9 characters: fits exactly with the terminator.
  ASSERT_TRUE(JoinPath(out, 10, L"abcd", L"efgh"));
  EXPECT_STREQ(L"abcd\\efgh", out);
  qn::JoinPath(out, 10, L"", L"before");
  EXPECT_FALSE(JoinPath(out, 10, L"abcd", L"efghi"));
  EXPECT_STREQ(L"before", out);
  EXPECT_FALSE(JoinPath(out, 10, L"abcde", L"efgh"));
  EXPECT_FALSE(JoinPath(out, 10, L"", L"0123456789"));
  EXPECT_STREQ(L"before", out);

  // A 259-character result fits a MAX_PATH buffer; one more does not.
  wchar_t path[260];
  std::wstring folder(250, L'f');
  ASSERT_TRUE(JoinPath(path, 260, folder.c_str(), L"12345678"));
  EXPECT_EQ(259u, std::wstring(path).size());
  EXPECT_FALSE(JoinPath(path, 260, folder.c_str(), L"123456789"));

  EXPECT_FALSE(JoinPath(out, 0, L"a", L"b"));
  EXPECT_FALSE(JoinPath(0, 10, L"a", L"b"));
}
