// The diagnostic log as the start-up sequence switches it on: file lines,
// flushing, appending, and every way it stays off.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/option_map.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/scratch_files.h"

namespace {

// Splits at CR LF; a text that does not end in CR LF leaves a last piece.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      if (start < text.size()) lines.push_back(text.substr(start) + "<no CRLF>");
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

long MillisecondOfDay(const SYSTEMTIME& t) {
  return ((t.wHour * 60L + t.wMinute) * 60L + t.wSecond) * 1000L + t.wMilliseconds;
}

// "[hh:mm:ss:mmm] " -> milliseconds of the day, or -1 when malformed.
long StampOf(const std::string& line) {
  if (line.size() < 15 || line[0] != '[' || line[3] != ':' || line[6] != ':' || line[9] != ':' ||
      line[13] != ']' || line[14] != ' ')
    return -1;
  const int digits[] = {1, 2, 4, 5, 7, 8, 10, 11, 12};
  for (size_t i = 0; i < sizeof(digits) / sizeof(digits[0]); ++i) {
    if (line[digits[i]] < '0' || line[digits[i]] > '9') return -1;
  }
  long h = atol(line.substr(1, 2).c_str()), m = atol(line.substr(4, 2).c_str());
  long s = atol(line.substr(7, 2).c_str()), ms = atol(line.substr(10, 3).c_str());
  if (h > 23 || m > 59 || s > 59) return -1;
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

std::string MessageOf(const std::string& line) { return line.size() >= 15 ? line.substr(15) : "<short line>"; }

class DiagnosticLog : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    oldCwd_ = cwd;
    ASSERT_TRUE(SetCurrentDirectoryW(folder_.c_str()));
  }
  void TearDown() override {
    CloseLog();
    ResetSetupState();
    SetCurrentDirectoryW(oldCwd_.c_str());
  }
  std::wstring In(const std::wstring& leaf) const { return folder_ + L"\\" + leaf; }

  kittest::ScratchFolder scratch_{L"kitlog"};
  const std::wstring& folder_ = scratch_.Path();
  std::wstring oldCwd_;
};

}  // namespace

TEST_F(DiagnosticLog, EmptyValueLogsToDefaultFileWithTimeStampedFlushedLines) {
  SwitchLogOn(qn::OptionMap(L"/log"));
  ASSERT_TRUE(g_setup.logEnabled);
  EXPECT_STREQ(L"downloaderlog.txt", g_setup.logPath);
  ASSERT_TRUE(g_setup.logFile.Valid());

  SYSTEMTIME before, after;
  GetLocalTime(&before);
  WriteLog(L"[KITFETCHER] Parent process name: %s with pid %d", L"C:\\Users\\me\\setup[abc].exe", 4242);
  GetLocalTime(&after);
  // Read through another handle while the log is still open: the line is on disk.
  std::vector<std::string> lines = Lines(kittest::ReadBytes(In(L"downloaderlog.txt")));
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("[KITFETCHER] Parent process name: C:\\Users\\me\\setup[abc].exe with pid 4242", MessageOf(lines[0]));
  long stamp = StampOf(lines[0]);
  ASSERT_NE(-1, stamp) << lines[0];
  if (MillisecondOfDay(after) >= MillisecondOfDay(before)) {  // not across midnight
    EXPECT_GE(stamp, MillisecondOfDay(before));
    EXPECT_LE(stamp, MillisecondOfDay(after));
  }

  WriteLog(L"[SETUP] OS Version (0 - unknown, 1 - XP, 2 - VISTA no sp, 3 - VISTA with sp, 4 - Win 7): %d", 4);
  lines = Lines(kittest::ReadBytes(In(L"downloaderlog.txt")));
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("[SETUP] OS Version (0 - unknown, 1 - XP, 2 - VISTA no sp, 3 - VISTA with sp, 4 - Win 7): 4",
            MessageOf(lines[1]));
}

TEST_F(DiagnosticLog, SecondRunAppendsBelowTheFirst) {
  const std::wstring path = In(L"run.log");
  SwitchLogOn(qn::OptionMap((L"/log:\"" + path + L"\"").c_str()));
  ASSERT_TRUE(g_setup.logEnabled);
  EXPECT_EQ(path, std::wstring(g_setup.logPath));
  WriteLog(L"first run");
  CloseLog();
  ResetSetupState();

  SwitchLogOn(qn::OptionMap((L"/log:" + path).c_str()));
  ASSERT_TRUE(g_setup.logEnabled);
  WriteLog(L"second run");
  std::vector<std::string> lines = Lines(kittest::ReadBytes(path));
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("first run", MessageOf(lines[0]));
  EXPECT_EQ("second run", MessageOf(lines[1]));
}

TEST_F(DiagnosticLog, WithoutTheOptionNothingIsWritten) {
  SwitchLogOn(qn::OptionMap(L"/LOG /Log:x.txt log"));
  EXPECT_FALSE(g_setup.logEnabled);
  EXPECT_TRUE(!g_setup.logFile.Valid());
  WriteLog(L"never %s", L"seen");
  EXPECT_FALSE(kittest::Exists(In(L"downloaderlog.txt")));
  EXPECT_FALSE(kittest::Exists(In(L"x.txt")));

  // Logging switched off later stops writing at once.
  SwitchLogOn(qn::OptionMap(L"/log"));
  ASSERT_TRUE(g_setup.logEnabled);
  WriteLog(L"kept");
  g_setup.logEnabled = false;
  WriteLog(L"dropped");
  std::vector<std::string> lines = Lines(kittest::ReadBytes(In(L"downloaderlog.txt")));
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("kept", MessageOf(lines[0]));
}

TEST_F(DiagnosticLog, PathInMissingFolderSwitchesLoggingOff) {
  const std::wstring path = In(L"missing\\deeper\\log.txt");
  SwitchLogOn(qn::OptionMap((L"/log:" + path).c_str()));
  EXPECT_FALSE(g_setup.logEnabled);
  EXPECT_TRUE(!g_setup.logFile.Valid());
  WriteLog(L"nowhere");
  EXPECT_FALSE(kittest::Exists(In(L"missing")));
}

TEST_F(DiagnosticLog, OverlongPathSwitchesLoggingOffWithoutOverrun) {
  std::wstring longPath = In(std::wstring(300 - folder_.size() - 1, L'L'));
  ASSERT_EQ(300u, longPath.size());
  SwitchLogOn(qn::OptionMap((L"/log:" + longPath).c_str()));
  EXPECT_FALSE(g_setup.logEnabled);
  EXPECT_TRUE(!g_setup.logFile.Valid());  // the field right after the path buffer
  EXPECT_EQ(L'\0', g_setup.logPath[0]);
  WriteLog(L"nowhere");

  // 259 characters is the longest path that is taken.
  ResetSetupState();
  std::wstring longest = In(std::wstring(259 - folder_.size() - 1, L'M'));
  ASSERT_EQ(259u, longest.size());
  SwitchLogOn(qn::OptionMap((L"/log:" + longest).c_str()));
  EXPECT_EQ(longest, std::wstring(g_setup.logPath));
  ASSERT_TRUE(g_setup.logEnabled);
  WriteLog(L"at the limit");
  EXPECT_EQ("at the limit", MessageOf(Lines(kittest::ReadBytes(longest)).at(0)));
}

TEST_F(DiagnosticLog, ArgumentsAreWrittenAsGiven) {
  SwitchLogOn(qn::OptionMap(L"/log"));
  ASSERT_TRUE(g_setup.logEnabled);
  WriteLog(L"[KITFETCHER] Copying file %s to %s", L"C:\\a%20b\\%s%n%d.xml", L"wide \x00e9");
  std::wstring big(5000, L'z');
  WriteLog(L"%s", big.c_str());
  WriteLog(L"100%% done");

  std::vector<std::string> lines = Lines(kittest::ReadBytes(In(L"downloaderlog.txt")));
  ASSERT_EQ(3u, lines.size());
  std::string expected = "[KITFETCHER] Copying file C:\\a%20b\\%s%n%d.xml to wide ";
  if (GetACP() == 1252) {
    EXPECT_EQ(expected + "\xe9", MessageOf(lines[0]));
  } else {
    EXPECT_EQ(expected, MessageOf(lines[0]).substr(0, expected.size()));
  }
  EXPECT_EQ(std::string(5000, 'z'), MessageOf(lines[1]));
  EXPECT_EQ("100% done", MessageOf(lines[2]));
}

TEST_F(DiagnosticLog, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  if (GetACP() != 1252) {
    GTEST_SKIP() << "code page " << GetACP();
  }
  SwitchLogOn(qn::OptionMap(L"/log"));
  ASSERT_TRUE(g_setup.logEnabled);
  WriteLog(L"name: %s!", L"a\x4e2d\x0416z");
  std::vector<std::string> lines = Lines(kittest::ReadBytes(In(L"downloaderlog.txt")));
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("name: a??z!", MessageOf(lines[0]));
}
