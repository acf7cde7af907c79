// Product codes, .md5 tokens and the local setup folder, without a server (a
// refused connection stands for an unreachable one).
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "common/fixed_string.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/transfer/version_tokens.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/http_test_support.h"
#include "tests/unit/support/kit_package.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace {

using testsupport::DeleteTree;
using testsupport::Exists;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

const wchar_t kRefusedTemplate[] = L"http://127.0.0.1:1/%s";

class UpdateCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = scratch_.Path();
    ASSERT_TRUE(qn::CopyText(g_setup.programFolder, kPathChars, (folder_ + L"\\").c_str()));
  }

  DWORD ReadCode(const std::string& content, std::wstring* code) {
    WriteBytes(folder_ + L"\\productcode.txt", content);
    wchar_t buffer[kProductCodeChars] = {0};
    DWORD result = ReadLocalProductCode(buffer);
    *code = buffer;
    return result;
  }

  httptest::SetupScope setup_;
  testsupport::ScratchFolder scratch_{L"updatecheck"};
  std::wstring folder_;
};

TEST(PlainFolderName, AcceptsOrdinaryNames) {
  EXPECT_TRUE(IsPlainFolderName(L"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
  EXPECT_TRUE(IsPlainFolderName(L"Kit Maker 2.0"));
  EXPECT_TRUE(IsPlainFolderName(L".hidden"));
  EXPECT_TRUE(IsPlainFolderName(L"console"));
}

TEST(PlainFolderName, RefusesPathsDevicesStreamsAndNamesWithNothingLeft) {
  const wchar_t* refused[] = {L"",         L".",         L"..",       L"...",        L"C:\\Windows",
                              L"..\\..\\x", L"a/b",       L"a:b",      L"\\\\srv\\s", L"C:",
                              L"a<b",      L"a>b",       L"a\"b",     L"a|b",        L"a?b",
                              L"a*b",      L"tab\there", L" . ",      L"CON",        L"nul.txt",
                              L"com1",     L"LPT9.log",  L"NUL.",     L"CON .txt",   L"aux ",
                              L"COM0",     L"lpt\u00B9"};
  for (size_t i = 0; i < sizeof(refused) / sizeof(refused[0]); ++i) {
    EXPECT_FALSE(IsPlainFolderName(refused[i])) << "[" << testing::PrintToString(std::wstring(refused[i])) << "]";
  }
  EXPECT_FALSE(IsPlainFolderName(NULL));
  EXPECT_FALSE(IsPlainFolderName(std::wstring(256, L'a').c_str()));
}

TEST(PlainFolderName, IsStoredWithoutTrailingDotsAndBlanksAsWindowsStoresIt) {
  const struct {
    const wchar_t* text;
    const wchar_t* stored;
  } cases[] = {{L"Acme Inc.", L"Acme Inc"}, {L"name ", L"name"}, {L"Foo Ltd. . ", L"Foo Ltd"},
               {L" lead", L" lead"},        {L"a.b", L"a.b"},   {L"{CODE}.", L"{CODE}"}};
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    wchar_t stored[kProductCodeChars] = {L'x', 0};
    EXPECT_TRUE(StoredFolderName(cases[i].text, stored, kProductCodeChars)) << i;
    EXPECT_EQ(std::wstring(cases[i].stored), stored);
  }
  wchar_t tiny[4];
  EXPECT_FALSE(StoredFolderName(L"abcd.", tiny, 4)) << "a name that does not fit is refused, never cut";
}

TEST_F(UpdateCheckTest, LocalProductCodeIsTheFirstWord) {
  std::wstring code;
  EXPECT_EQ(0u, ReadCode("  \r\n\t{ABC-123} second words\r\nthird\r\n", &code));
  EXPECT_EQ(L"{ABC-123}", code);
  EXPECT_EQ(0u, ReadCode("", &code));
  EXPECT_EQ(L"", code);
  EXPECT_EQ(0u, ReadCode("\xE9t\xE9", &code));
  EXPECT_EQ(L"\u00E9t\u00E9", code) << "bytes become characters one by one";
  EXPECT_EQ(0u, ReadCode(std::string(99, 'x'), &code));
  EXPECT_EQ(99u, code.size());
  EXPECT_EQ(0u, ReadCode("{ABC-123}.", &code));
  EXPECT_EQ(L"{ABC-123}", code) << "the code is the folder's name as Windows stores it";
}

TEST_F(UpdateCheckTest, MissingLocalProductCodeMeansAnOnlinePackage) {
  testsupport::LogCapture log;
  wchar_t code[kProductCodeChars] = {L'x', 0};
  EXPECT_EQ(kNoLocalProductCode, ReadLocalProductCode(code));
  EXPECT_EQ(L'\0', code[0]);
  EXPECT_TRUE(log.Contains(" does not exist. This is an online package!"));
}

TEST_F(UpdateCheckTest, UnusableLocalProductCodesAreFailedReads) {
  testsupport::LogCapture log;
  std::wstring code;
  DWORD result = ReadCode("C:\\Windows", &code);
  EXPECT_EQ(kLocalProductCodeNotAName, result);
  EXPECT_EQ(L"", code);
  EXPECT_EQ(kLocalProductCodeNotAName, ReadCode("..\\..\\x", &code));
  EXPECT_EQ(L"", code);
  EXPECT_EQ(kLocalProductCodeTooLong, ReadCode(std::string(100, 'x'), &code));
  EXPECT_EQ(L"", code);
  EXPECT_TRUE(log.Contains("Product code C:\\Windows cannot name a folder"));
  EXPECT_NE(0u, kLocalProductCodeNotAName);
  EXPECT_NE(kNoLocalProductCode, kLocalProductCodeNotAName);
  EXPECT_NE(kNoLocalProductCode, kLocalProductCodeTooLong);
}

TEST_F(UpdateCheckTest, UnreachableServerGivesNoRemoteProductCode) {
  testsupport::LogCapture log;
  wchar_t code[kProductCodeChars] = {0};
  EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchRemoteProductCode(code)) << "no template at all";
  g_setup.locations.baseUrl.Set(kRefusedTemplate);
  EXPECT_EQ(kRemoteProductCodeDownloadFailed, FetchRemoteProductCode(code));
  EXPECT_EQ(L'\0', code[0]);
  EXPECT_TRUE(log.Contains("[KITFETCHER] Downloading productcode.txt from: http://127.0.0.1:1/en/productcode.txt"));
  EXPECT_TRUE(log.Contains("[KITFETCHER] Cannot download http://127.0.0.1:1/en/productcode.txt. Error -"));
}

// Without a local digest the server is not asked; without the server's, the
// local one is still handed out.
TEST_F(UpdateCheckTest, AMissingDigestOnEitherSideMeansNoUpdate) {
  struct Row {
    const char* localDigest;
    const wchar_t* handedOut;
    const char* logged;
    const char* notLogged;
  } rows[] = {
      {NULL, L"", "[KITFETCHER] Local md5 does not exist", "Cannot download remote version file."},
      {"0123abcd\r\n", L"0123abcd", "] Cannot download remote version file.\r\n", "Local md5 does not exist"},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    SCOPED_TRACE(i);
    testsupport::LogCapture log;
    DownloadableFile file;
    file.name.Set(L"a.exe");
    file.md5Name.Set(L"a.exe.md5");
    file.relativePath.Set(L"sub");
    file.baseUrl.Set(kRefusedTemplate);
    if (rows[i].localDigest) WriteBytes(folder_ + L"\\sub\\a.exe.md5", rows[i].localDigest);
    wchar_t local[kDigestChars] = {0};
    wchar_t remote[kDigestChars] = {0};
    EXPECT_EQ(0, CheckFileUpdate(file, g_setup.programFolder, local, remote));
    EXPECT_STREQ(rows[i].handedOut, local);
    EXPECT_EQ(L'\0', remote[0]);
    EXPECT_TRUE(log.Contains(rows[i].logged));
    EXPECT_FALSE(log.Contains(rows[i].notLogged));
    EXPECT_TRUE(log.Contains("[KITFETCHER] Remote md5 file is http://127.0.0.1:1/en/sub/a.exe.md5"));
  }
}

TEST_F(UpdateCheckTest, AnOverlongLocalDigestIsNotRecordedCut) {
  DownloadableFile file;
  file.name.Set(L"a.exe");
  file.md5Name.Set(L"a.exe.md5");
  file.baseUrl.Set(kRefusedTemplate);
  WriteBytes(folder_ + L"\\a.exe.md5", std::string(60, 'f'));
  wchar_t local[kDigestChars + 1];
  wmemset(local, L'#', kDigestChars + 1);
  local[0] = L'\0';
  EXPECT_EQ(0, CheckFileUpdate(file, g_setup.programFolder, local, NULL));
  EXPECT_EQ(L'\0', local[0]);
  EXPECT_EQ(L'#', local[kDigestChars]);
}

TEST_F(UpdateCheckTest, DestinationDigestLiesBesideTheFile) {
  DownloadableFile top;
  top.name.Set(L"a.exe");
  top.md5Name.Set(L"a.exe.md5");
  EXPECT_EQ(1, WriteDestinationDigest(folder_.c_str(), L"d41d8cd9", top));
  EXPECT_EQ("d41d8cd9", ReadBytes(folder_ + L"\\a.exe.md5"));
  EXPECT_EQ(1, WriteDestinationDigest(folder_.c_str(), L"", top));
  EXPECT_EQ("", ReadBytes(folder_ + L"\\a.exe.md5"));

  DownloadableFile nested = top;
  nested.relativePath.Set(L"tools");
  CreateDirectoryW((folder_ + L"\\tools").c_str(), NULL);
  EXPECT_EQ(1, WriteDestinationDigest(folder_.c_str(), L"\u00E9E", nested));
  EXPECT_EQ("\xE9" "E", ReadBytes(folder_ + L"\\tools\\a.exe.md5"));
}

TEST_F(UpdateCheckTest, DestinationDigestNeedsAFolderThatExists) {
  DownloadableFile file;
  file.name.Set(L"a.exe");
  file.md5Name.Set(L"a.exe.md5");
  file.relativePath.Set(L"missing");
  EXPECT_EQ(0, WriteDestinationDigest(folder_.c_str(), L"x", file));
  EXPECT_EQ(0, WriteDestinationDigest(L"", L"x", file)) << "never relative to the working folder";
}

class LocalSetupFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    g_setup.isWow64 = wow64 != FALSE;
    maker_ = testsupport::UniqueName(L"KitMaker");
    ASSERT_TRUE(qn::CopyText(g_setup.locations.manufacturerName, kNameChars, maker_.c_str()));
  }
  void TearDown() override {
    if (!common_.empty()) DeleteTree(common_ + L"\\" + maker_);
  }
  httptest::SetupScope setup_;
  std::wstring maker_;
  std::wstring common_;
};

TEST_F(LocalSetupFolderTest, LiesUnderTheMachinesOwnCommonProgramFiles) {
  wchar_t shellCommon[MAX_PATH] = {0};
  ASSERT_TRUE(SHGetSpecialFolderPathW(NULL, shellCommon, CSIDL_PROGRAM_FILES_COMMON, FALSE));
  if (g_setup.isWow64) {
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    common_ = std::wstring(windows, 2) + L"\\Program Files\\Common Files";
    EXPECT_NE(common_, std::wstring(shellCommon)) << "a 32-bit program sees the x86 folder";
  } else {
    common_ = shellCommon;
  }
  ResolveLocalSetupFolder(L"{CODE-1}");
  std::wstring expected = common_ + L"\\" + maker_ + L"\\SetupInformation\\{CODE-1}";
  EXPECT_EQ(expected, std::wstring(g_setup.worker.localSetupFolder));
  EXPECT_TRUE(Exists(expected));

  ResolveLocalSetupFolder(L"");
  EXPECT_EQ(common_ + L"\\" + maker_ + L"\\SetupInformation", std::wstring(g_setup.worker.localSetupFolder));
}

// The variable can come from the user's own environment, and Vista has none.
TEST_F(LocalSetupFolderTest, OnWow64TheMachinesRegistryNamesTheFolderAndTheVariableOnlyWithoutIt) {
  testsupport::ScratchFolder machineFolder(L"machinecf");
  testsupport::ScratchFolder userFolder(L"usercf");
  wchar_t saved[kLongPathChars] = {0};
  DWORD hadVariable = GetEnvironmentVariableW(L"CommonProgramW6432", saved, kLongPathChars);
  g_setup.isWow64 = true;
  {
    kittest::MachineRegistryStandIn registry(machineFolder.Path());
    SetEnvironmentVariableW(L"CommonProgramW6432", userFolder.Path().c_str());
    ResolveLocalSetupFolder(L"{CODE-3}");
    EXPECT_EQ(machineFolder.Path() + L"\\" + maker_ + L"\\SetupInformation\\{CODE-3}",
              std::wstring(g_setup.worker.localSetupFolder));

    registry.SetCommonFilesDir(NULL);
    ResolveLocalSetupFolder(L"{CODE-3}");
    EXPECT_EQ(userFolder.Path() + L"\\" + maker_ + L"\\SetupInformation\\{CODE-3}",
              std::wstring(g_setup.worker.localSetupFolder));

    SetEnvironmentVariableW(L"CommonProgramW6432", NULL);
    ResolveLocalSetupFolder(L"{CODE-3}");
    EXPECT_EQ(L'\0', g_setup.worker.localSetupFolder[0]);
  }
  SetEnvironmentVariableW(L"CommonProgramW6432", hadVariable ? saved : NULL);
}

TEST_F(LocalSetupFolderTest, RefusesNamesThatAreNotPlainFolderNames) {
  testsupport::LogCapture log;
  ASSERT_TRUE(qn::CopyText(g_setup.worker.localSetupFolder, kLongPathChars, L"stale"));
  ResolveLocalSetupFolder(L"C:\\Windows");
  EXPECT_EQ(L'\0', g_setup.worker.localSetupFolder[0]);
  ResolveLocalSetupFolder(L"..\\..\\x");
  EXPECT_EQ(L'\0', g_setup.worker.localSetupFolder[0]);

  std::wstring escaping = L"..\\" + maker_;
  ASSERT_TRUE(qn::CopyText(g_setup.locations.manufacturerName, kNameChars, escaping.c_str()));
  ResolveLocalSetupFolder(L"{CODE-2}");
  EXPECT_EQ(L'\0', g_setup.worker.localSetupFolder[0]);
  wchar_t shellCommon[MAX_PATH] = {0};
  SHGetSpecialFolderPathW(NULL, shellCommon, CSIDL_PROGRAM_FILES_COMMON, FALSE);
  EXPECT_FALSE(Exists(std::wstring(shellCommon) + L"\\..\\" + maker_));
  EXPECT_TRUE(log.Contains("cannot name a folder; no local setup folder"));
}

}  // namespace
