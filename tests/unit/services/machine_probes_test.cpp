// The version gate, the rights test and the requirement checks, on the real
// system where Wine can play the part and on recorded values where it cannot.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "common/scoped_handles.h"
#include "downloader/services/texts.h"
#include "downloader/services/machine_probes.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/message_boxes.h"
#include "tests/unit/support/needs_32bit_code.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/unique_name.h"

namespace {

const BYTE kWorkstation = VER_NT_WORKSTATION;
const BYTE kServer = VER_NT_SERVER;
const BYTE kDomainController = VER_NT_DOMAIN_CONTROLLER;

struct VersionRow {
  const char* name;
  DWORD major, minor;
  BYTE productType;
  const wchar_t* servicePack;
  bool isServer;
  OsVersion expected;
};

TEST(OsVersionCode, EveryEditionMapsToItsCode) {
  const VersionRow rows[] = {
      {"XP SP3", 5, 1, kWorkstation, L"Service Pack 3", false, kOsXpSp3},
      {"XP SP3 with build suffix", 5, 1, kWorkstation, L"Service Pack 3, v.5512", false, kOsXpSp3},
      {"XP SP2", 5, 1, kWorkstation, L"Service Pack 2", false, kOsUnsupported},
      {"XP without service pack", 5, 1, kWorkstation, L"", false, kOsUnsupported},
      {"XP, lower-case text", 5, 1, kWorkstation, L"service pack 3", false, kOsUnsupported},
      {"XP, localised text", 5, 1, kWorkstation, L"Paquete de servicio 3", false, kOsUnsupported},
      {"2000 SP4", 5, 0, kWorkstation, L"Service Pack 4", false, kOsUnsupported},
      {"Server 2003 SP3 text", 5, 2, kServer, L"Service Pack 3", false, kOsUnsupported},
      {"NT 4", 4, 0, kWorkstation, L"Service Pack 6", false, kOsUnsupported},
      {"Vista without service pack", 6, 0, kWorkstation, L"", false, kOsVistaNoServicePack},
      {"Vista, no text at all", 6, 0, kWorkstation, NULL, false, kOsVistaNoServicePack},
      {"Vista SP1", 6, 0, kWorkstation, L"Service Pack 1", false, kOsVistaServicePack},
      {"Vista, localised service pack", 6, 0, kWorkstation, L"Paquete de servicio 2", false, kOsVistaServicePack},
      {"Server 2008", 6, 0, kServer, L"Service Pack 2", false, kOsUnsupported},
      {"Server 2008 domain controller", 6, 0, kDomainController, L"", false, kOsUnsupported},
      {"Windows 7", 6, 1, kWorkstation, L"", false, kOsWindows7},
      {"Windows 7 SP1", 6, 1, kWorkstation, L"Service Pack 1", false, kOsWindows7},
      {"Server 2008 R2", 6, 1, kServer, L"Service Pack 1", false, kOsUnsupported},
      {"Windows 8 and later as reported", 6, 2, kWorkstation, L"", false, kOsUnsupported},
      {"Windows 8.1 declared", 6, 3, kWorkstation, L"", false, kOsUnsupported},
      {"Windows 7 data, server shell answer", 6, 1, kWorkstation, L"Service Pack 1", true, kOsUnsupported},
      {"XP SP3 data, server shell answer", 5, 1, kWorkstation, L"Service Pack 3", true, kOsUnsupported},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    const VersionRow& r = rows[i];
    EXPECT_EQ(r.expected, OsVersionCodeFrom(r.major, r.minor, r.productType, r.servicePack, r.isServer))
        << r.name;
  }
}

TEST(OsVersionCode, TheTestPrefixesAreWindows7) {
  EXPECT_EQ(kOsWindows7, GetOsVersionCode());
}

// The test prefixes must look like a Windows 7 workstation to the programs, or
// every later run would stop at the version gate.
bool PrefixIs64Bit() {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  wcscat(windows, L"\\syswow64");
  return GetFileAttributesW(windows) != INVALID_FILE_ATTRIBUTES;
}

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

TEST(Administrator, WineUsersAreAdministrators) {
  EXPECT_TRUE(IsUserAdministrator());
}

TEST(RequirementRules, ProcessorEqualSpeedPasses) {
  EXPECT_FALSE(CpuBelowMinimum(800, 800.0));
  EXPECT_FALSE(CpuBelowMinimum(800, 2400.0));
  EXPECT_TRUE(CpuBelowMinimum(800, 799.0));
  // An unreadable speed is 0 and fails any positive minimum, but not 0.
  EXPECT_TRUE(CpuBelowMinimum(1, 0.0));
  EXPECT_FALSE(CpuBelowMinimum(0, 0.0));
}

TEST(RequirementRules, MemoryIsComparedToTheByte) {
  const ULONGLONG mib = 1048576;
  EXPECT_FALSE(MemoryBelowMinimum(1000, 1000 * mib));
  EXPECT_TRUE(MemoryBelowMinimum(1000, 1000 * mib - 1));
  EXPECT_FALSE(MemoryBelowMinimum(1000, 1000 * mib + 1));
  EXPECT_FALSE(MemoryBelowMinimum(0, 0));
  // 3,000,000 MB times 1024 does not fit 32 bits; it must still ask.
  EXPECT_TRUE(MemoryBelowMinimum(3000000, 16ULL * 1024 * mib));
  EXPECT_TRUE(MemoryBelowMinimum(0x7FFFFFFF, 64ULL * 1024 * mib));
}

TEST(RequirementRules, DiskShortfallIsRoundedDown) {
  const ULONGLONG mib = 1048576;
  int shortfall = -1;
  EXPECT_FALSE(DiskSpaceSufficient(800, 799 * mib + mib / 2, &shortfall));
  EXPECT_EQ(0, shortfall);
  EXPECT_TRUE(DiskSpaceSufficient(800, 800 * mib, &shortfall));
  EXPECT_FALSE(DiskSpaceSufficient(800, 0, &shortfall));
  EXPECT_EQ(800, shortfall);
  EXPECT_FALSE(DiskSpaceSufficient(800, 100 * mib - 1, &shortfall));
  EXPECT_EQ(700, shortfall);
  EXPECT_TRUE(DiskSpaceSufficient(0, 0, &shortfall));
  EXPECT_TRUE(DiskSpaceSufficient(-5, 0, &shortfall));
  EXPECT_FALSE(DiskSpaceSufficient(0x7FFFFFFF, 0, &shortfall));
  EXPECT_EQ(0x7FFFFFFF, shortfall);
}

// A processor key of our own, to feed the speed probe values it must survive.
class CpuSpeedValue : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = L"Software\\" + kittest::UniqueName(L"KitTestCpu");
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key_, NULL));
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
  }
  void Set(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key_, L"~MHz", 0, type, static_cast<const BYTE*>(data), size));
  }
  std::wstring path_;
  HKEY key_;
};

TEST_F(CpuSpeedValue, ReadsTheNumberAndRefusesWhatDoesNotFitFourBytes) {
  EXPECT_EQ(0.0, ReadCpuSpeedMHz(HKEY_CURRENT_USER, path_.c_str()));  // no value yet
  DWORD mhz = 2394;
  Set(REG_DWORD, &mhz, sizeof(mhz));
  EXPECT_EQ(2394.0, ReadCpuSpeedMHz(HKEY_CURRENT_USER, path_.c_str()));
  ULONGLONG wide = 0x0000000100000C00ULL;
  Set(REG_QWORD, &wide, sizeof(wide));
  EXPECT_EQ(0.0, ReadCpuSpeedMHz(HKEY_CURRENT_USER, path_.c_str()));
  const wchar_t text[] = L"3000 MHz";
  Set(REG_SZ, text, sizeof(text));
  EXPECT_EQ(0.0, ReadCpuSpeedMHz(HKEY_CURRENT_USER, path_.c_str()));
  EXPECT_EQ(0.0, ReadCpuSpeedMHz(HKEY_CURRENT_USER, (path_ + L"\\missing").c_str()));
}

TEST(SystemDrive, RootOfTheSystemFolder) {
  wchar_t root[MAX_PATH];
  ASSERT_TRUE(GetSystemDriveRoot(root, MAX_PATH));
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(std::wstring(system, 3), std::wstring(root));
  wchar_t tiny[3];
  EXPECT_FALSE(GetSystemDriveRoot(tiny, 3));
  EXPECT_EQ(L'\0', tiny[0]);
}

// The real checks with the program's own texts; the boxes are answered from a
// second thread while the check waits on this one.
class RequirementPrompts : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    if (!strings_.Valid()) GTEST_SKIP() << "kitfetcher.exe of this build is needed for its string table";
    g_setup.resourceModule = strings_.Get();
    lstrcpynW(g_setup.locations.manufacturerName, L"Kit Test Maker", 100);
    g_setup.locations.cpuFreqMHz = 0;
    g_setup.locations.ramMBytes = 0;
    g_setup.locations.hddMBytes = 0;
  }
  void TearDown() override { ResetSetupState(); }
  qn::ScopedLibrary strings_{kittest::LoadProgramResources()};
};

TEST_F(RequirementPrompts, ZeroMinimumsPassWithoutAQuestion) {
  kittest::BoxAnswerer answerer(IDNO, 1500);
  EXPECT_TRUE(CheckSystemRequirements());
  EXPECT_FALSE(answerer.Join().appeared);
}

// Each question the program's way: the maker as caption, Yes and No, and only
// a Yes goes on.
TEST_F(RequirementPrompts, ASlowProcessorOrSmallMemoryAsksAndOnlyYesGoesOn) {
  const wchar_t kCpu[] = L"You need a CPU with at least 1000000 MHz for optimal performance. Install anyway?";
  const wchar_t kRam[] = L"You need at least 2000000000 MB of physical memory for optimal performance. Install anyway?";
  struct Row {
    int* minimum;
    int value;
    int answer;
    const wchar_t* text;
  } rows[] = {
      {&g_setup.locations.cpuFreqMHz, 1000000, IDNO, kCpu},
      {&g_setup.locations.cpuFreqMHz, 1000000, IDYES, kCpu},
      {&g_setup.locations.ramMBytes, 2000000000, IDYES, kRam},
      {&g_setup.locations.ramMBytes, 2000000000, IDNO, kRam},
  };
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    SCOPED_TRACE(i);
    g_setup.locations.cpuFreqMHz = g_setup.locations.ramMBytes = 0;
    *rows[i].minimum = rows[i].value;
    kittest::BoxAnswerer answerer(rows[i].answer, 10000);
    EXPECT_EQ(rows[i].answer == IDYES, CheckSystemRequirements());
    const kittest::SeenBox& box = answerer.Join();
    ASSERT_TRUE(box.appeared);
    EXPECT_EQ(rows[i].text, box.text);
    EXPECT_EQ(L"Kit Test Maker", box.caption);
    EXPECT_TRUE(box.hasYes && box.hasNo);
  }
}

TEST_F(RequirementPrompts, TooLittleDiskSpaceTellsTheShortfallAndStops) {
  g_setup.locations.hddMBytes = 0x7FFFFFFF;
  wchar_t root[MAX_PATH];
  ASSERT_TRUE(GetSystemDriveRoot(root, MAX_PATH));
  ULARGE_INTEGER available;
  ASSERT_TRUE(GetDiskFreeSpaceExW(root, &available, NULL, NULL));
  long long expected = (0x7FFFFFFFLL * 1048576 - static_cast<long long>(available.QuadPart)) / 1048576;

  kittest::BoxAnswerer answerer(IDOK, 10000);
  EXPECT_FALSE(CheckSystemRequirements());
  const kittest::SeenBox& box = answerer.Join();
  ASSERT_TRUE(box.appeared);
  std::wstring lead = std::wstring(L"Not enough free space on drive ") + root + L". Please free ";
  ASSERT_EQ(lead, box.text.substr(0, lead.size()));
  long long shown = _wtoi64(box.text.c_str() + lead.size());
  // Other tests write files meanwhile; the shortfall is what was missing then.
  EXPECT_LE(llabs(shown - expected), 1024) << std::wstring(box.text).c_str();
  EXPECT_EQ(L" MB.", box.text.substr(box.text.size() - 4));
  EXPECT_TRUE(box.hasOk);
  EXPECT_FALSE(box.hasYes || box.hasNo);
}

TEST(DiskRequirement, UnmeasurableSpaceIsLoggedAndPasses) {
  ResetSetupState();
  {
    kittest::LogCapture log;
    kittest::BoxAnswerer answerer(IDOK, 1500);
    std::wstring nowhere = L"C:\\" + kittest::UniqueName(L"no_such_folder") + L"\\";
    EXPECT_TRUE(DiskRequirementMet(nowhere.c_str(), 800));
    EXPECT_TRUE(DiskRequirementMet(NULL, 800));
    EXPECT_FALSE(answerer.Join().appeared);
    std::vector<std::wstring> lines = log.Lines();
    ASSERT_EQ(2u, lines.size());
    const std::wstring lead = L"[KITFETCHER] Cannot query free disk space on " + nowhere + L" (error ";
    EXPECT_EQ(lead, lines[0].substr(0, lead.size()));
    EXPECT_EQ(L"[KITFETCHER] Cannot find the system drive; free disk space not checked", lines[1]);
  }
  ResetSetupState();
}

}  // namespace
