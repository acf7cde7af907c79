// Fixed buffers: texts that do not fit leave the old text, never a cut one,
// and paths joined with one backslash.
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
  ASSERT_TRUE(JoinPath(out, 10, L"", L"before"));
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

TEST(FixedString, WritesThatDoNotFitLeaveTheOldText) {
  qn::FixedString<8> s(L"abc");
  EXPECT_FALSE(s.Assign(L"12345678"));
  EXPECT_STREQ(L"abc", s.c_str());
  EXPECT_TRUE(s.Assign(L"1234567"));
  EXPECT_STREQ(L"1234567", s.c_str());
  EXPECT_FALSE(s.AppendChar(L'x'));
  EXPECT_STREQ(L"1234567", s.c_str());

  s.Assign(L"abc");
  EXPECT_FALSE(s.Append(L"defgh"));
  EXPECT_STREQ(L"abc", s.c_str());
  EXPECT_TRUE(s.Append(L"defg"));
  EXPECT_STREQ(L"abcdefg", s.c_str());
  EXPECT_TRUE(s.EndsWith(L'g'));

  EXPECT_TRUE(s.Assign(0));
  EXPECT_TRUE(s.Empty());
  EXPECT_FALSE(s.EndsWith(L'\0'));

  qn::FixedString<8> tooLong(L"far too long");
  EXPECT_TRUE(tooLong.Empty());
}

TEST(FixedString, FormatUsesWideStringsAndKeepsOldTextOnOverflow) {
  qn::FixedString<16> s(L"old");
  EXPECT_FALSE(s.Format(L"%s-%s", L"abcdefgh", L"ijklmnop"));
  EXPECT_STREQ(L"old", s.c_str());
  EXPECT_TRUE(s.Format(L"Local\\%s", L"{EC33}"));
  EXPECT_STREQ(L"Local\\{EC33}", s.c_str());
}

TEST(FixedString, RawBufferHelpers) {
  wchar_t buf[6];
  ASSERT_TRUE(qn::CopyText(buf, 6, L"abc"));
  EXPECT_FALSE(qn::CopyText(buf, 6, L"abcdef"));
  EXPECT_STREQ(L"abc", buf);
  EXPECT_FALSE(qn::AppendText(buf, 6, L"def"));
  EXPECT_STREQ(L"abc", buf);
  EXPECT_TRUE(qn::AppendText(buf, 6, L"de"));
  EXPECT_STREQ(L"abcde", buf);
  EXPECT_TRUE(qn::AppendText(buf, 6, 0));
  EXPECT_TRUE(qn::AppendText(buf, 6, L""));
  EXPECT_FALSE(qn::AppendText(buf, 6, L"f"));
  EXPECT_STREQ(L"abcde", buf);
  EXPECT_TRUE(qn::CopyText(buf, 6, 0));
  EXPECT_STREQ(L"", buf);
  EXPECT_FALSE(qn::CopyText(buf, 0, L""));
  EXPECT_FALSE(qn::AppendText(0, 6, L"x"));
}
