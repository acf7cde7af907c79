// The local setup folder: which names may be levels of it, where it lies, and
// which common program files folder it lies under.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "common/fixed_string.h"
#include "common/process_platform.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/setup_folder.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/fresh_setup_state.h"
#include "tests/unit/support/kit_package.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace {

using kittest::DeleteTree;
using kittest::Exists;

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

class LocalSetupFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_setup.isWow64 = qn::RunsUnderWow64();
    maker_ = kittest::UniqueName(L"KitMaker");
    ASSERT_TRUE(qn::CopyText(g_setup.locations.manufacturerName, kNameChars, maker_.c_str()));
  }
  void TearDown() override {
    if (!common_.empty()) DeleteTree(common_ + L"\\" + maker_);
  }
  kittest::SetupScope setup_;
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
  kittest::ScratchFolder machineFolder(L"machinecf");
  kittest::ScratchFolder userFolder(L"usercf");
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
  kittest::LogCapture log;
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
