// The test prefixes must look like a Windows 7 workstation to the programs, or
// every later run would stop at the version gate.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include "tests/unit/support/needs_32bit_code.h"

namespace {

bool PrefixIs64Bit() {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  wcscat(windows, L"\\syswow64");
  return GetFileAttributesW(windows) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(PlatformProbe, ServerQuestionsFollowTheProductType) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)));
  EXPECT_EQ(6u, info.dwMajorVersion);
  EXPECT_EQ(1u, info.dwMinorVersion);
  EXPECT_EQ(VER_NT_WORKSTATION, info.wProductType);
  EXPECT_FALSE(IsOS(OS_SERVER));
  EXPECT_FALSE(IsOS(OS_ANYSERVER));
  // Selectors that are not about servers still reach Wine's own answer.
  EXPECT_TRUE(IsOS(OS_NT));
}

TEST(PlatformProbe, Wow64MatchesThePrefix) {
  SKIP_UNLESS_32BIT_CODE("IsWow64Process answers TRUE only to a 32-bit process on 64-bit Windows");
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(PrefixIs64Bit(), wow64 != FALSE);
}
