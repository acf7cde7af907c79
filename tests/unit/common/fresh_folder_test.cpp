// The fresh folder a program starts over from: who may write it, where it
// lies, and a copy of this program that runs from it and finds who started
// the first instance (through the process runner's parent search).
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "common/fresh_folder.h"
#include "common/wide_format.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/scratch_files.h"

namespace {

const wchar_t kFreshReportVariable[] = L"KIT_TEST_FRESH_REPORT";

// Runs in a copy of this program placed in a fresh folder: reports whether it
// takes its folder for one, by place and name and by rights, and whom it finds
// as the first instance's parent.
TEST(FreshFolderChild, ReportsItsPlace) {
  wchar_t report[MAX_PATH];
  wchar_t parent[MAX_PATH];
  if (!GetEnvironmentVariableW(kFreshReportVariable, report, MAX_PATH) ||
      !GetEnvironmentVariableW(L"KIT_TEST_FRESH_PARENT", parent, MAX_PATH)) {
    GTEST_SKIP() << "runs only as the child of FreshFolder tests";
  }
  ResetSetupState();
  DWORD firstParent = FindParentProcess(true);
  wchar_t text[2 * MAX_PATH];
  ASSERT_TRUE(qn::FormatInto(
      text, 2 * MAX_PATH, L"%d%d%d %d%d\n%lu\n%s\n",
      qn::RunsFromFreshFolder(parent, L"kitfetcher.", qn::kForAdministrators, false),
      qn::RunsFromFreshFolder(parent, L"kitstarter.", qn::kForAdministrators, false),
      qn::RunsFromFreshFolder(L"C:\\windows\\temp\\", L"kitfetcher.", qn::kForAdministrators, false),
      qn::RunsFromFreshFolder(parent, L"kitfetcher.", qn::kForAdministrators, true),
      qn::RunsFromFreshFolder(parent, L"kitfetcher.", qn::kForCurrentUser, true), firstParent,
      g_setup.parentProcessPath));
  ASSERT_TRUE(kittest::WriteReport(report, text));
}

// Wine keeps no DACL of its own for a file or folder: it reports the user as
// the owner, with full control, whatever was set.
bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version") != NULL; }

std::wstring Sddl(PSECURITY_DESCRIPTOR descriptor) {
  LPWSTR text = NULL;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, NULL)) {
    return L"<none>";
  }
  std::wstring result = text;
  LocalFree(text);
  return result;
}

std::wstring OwnUserSid() {
  HANDLE token = NULL;
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD size = 0;
  LPWSTR text = NULL;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
  bool ok = GetTokenInformation(token, TokenUser, &buffer, sizeof(buffer), &size) &&
            ConvertSidToStringSidW(buffer.user.User.Sid, &text);
  CloseHandle(token);
  std::wstring sid = ok ? text : L"";
  if (text) LocalFree(text);
  return sid;
}

TEST(FreshFolderSecurity, MadeForItsWritersAloneAndOnlySuchAFolderPasses) {
  qn::FreshFolderSecurity administrators(qn::kForAdministrators);
  qn::FreshFolderSecurity user(qn::kForCurrentUser);
  ASSERT_TRUE(administrators.Attributes() && user.Attributes());
  std::wstring sid = OwnUserSid();
  ASSERT_FALSE(sid.empty());
  // Protected (P): nothing comes down from the parent folder.
  EXPECT_EQ(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", Sddl(administrators.Attributes()->lpSecurityDescriptor));
  EXPECT_EQ(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + sid + L")",
            Sddl(user.Attributes()->lpSecurityDescriptor));
  const std::wstring fresh = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  struct Case {
    std::wstring sddl;
    bool forAdministrators;
    bool forUser;
  } cases[] = {
      {L"O:BA" + fresh, true, true},
      {L"O:SY" + fresh, true, true},
      {L"O:" + sid + fresh, false, true},  // the owner may change the rights
      {L"O:" + sid + L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + sid + L")", false, true},
      {L"O:BA" + fresh + L"(A;;0x2;;;BU)", false, false},        // users may add files
      {L"O:BA" + fresh + L"(A;;0x4;;;BU)", false, false},        // ... or folders
      {L"O:BA" + fresh + L"(A;;0x40;;;BU)", false, false},       // ... or delete what it holds
      {L"O:BA" + fresh + L"(A;;0x40000;;;WD)", false, false},    // everyone may change the rights
      {L"O:BA" + fresh + L"(A;;GW;;;AU)", false, false},
      {L"O:BA" + fresh + L"(A;OICIIO;GA;;;CO)", false, false},   // what its creator makes inside
      {L"O:BA" + fresh + L"(A;;0x1200a9;;;BU)", true, true},     // reading and listing are harmless
      {L"O:BA" + fresh + L"(D;;FA;;;BU)", true, true},
  };
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    PSECURITY_DESCRIPTOR descriptor = NULL;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(cases[i].sddl.c_str(), SDDL_REVISION_1,
                                                                     &descriptor, NULL))
        << cases[i].sddl;
    EXPECT_EQ(cases[i].forAdministrators, administrators.OnlyWritersMayChange(descriptor)) << cases[i].sddl;
    EXPECT_EQ(cases[i].forUser, user.OnlyWritersMayChange(descriptor)) << cases[i].sddl;
    LocalFree(descriptor);
  }

  // No DACL at all lets everyone do anything; a conditional ACE is none of ours.
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID builtinAdministrators = NULL;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                       0, &builtinAdministrators));
  SECURITY_DESCRIPTOR bare;
  ASSERT_TRUE(InitializeSecurityDescriptor(&bare, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorOwner(&bare, builtinAdministrators, FALSE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&bare, TRUE, NULL, FALSE));
  EXPECT_FALSE(administrators.OnlyWritersMayChange(&bare));
  DWORD aclBuffer[64];
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
  DWORD aceBuffer[32];
  ACCESS_ALLOWED_CALLBACK_ACE* callback = reinterpret_cast<ACCESS_ALLOWED_CALLBACK_ACE*>(aceBuffer);
  callback->Header.AceType = ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
  callback->Header.AceFlags = 0;
  callback->Header.AceSize =
      static_cast<WORD>(FIELD_OFFSET(ACCESS_ALLOWED_CALLBACK_ACE, SidStart) + GetLengthSid(builtinAdministrators));
  callback->Mask = FILE_GENERIC_READ;
  ASSERT_TRUE(CopySid(GetLengthSid(builtinAdministrators), &callback->SidStart, builtinAdministrators));
  ASSERT_TRUE(InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION));
  ASSERT_TRUE(AddAce(acl, ACL_REVISION, MAXDWORD, callback, callback->Header.AceSize));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&bare, TRUE, acl, FALSE));
  EXPECT_FALSE(administrators.OnlyWritersMayChange(&bare));
  FreeSid(builtinAdministrators);
}

TEST(FreshFolder, TheHandedFolderIsAFullPathThatFits) {
  std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 5, L'p');  // with its backslash, one character short
  struct Case {
    std::wstring value;
    const wchar_t* expected;  // NULL: refused
  } cases[] = {
      {L"C:\\Downloads\\Kit", L"C:\\Downloads\\Kit\\"},
      {L"C:\\Downloads\\Kit\\", L"C:\\Downloads\\Kit\\"},
      {L"C:\\", L"C:\\"},
      {L"\\\\server\\share\\Kit", L"\\\\server\\share\\Kit\\"},
      {longest, NULL},  // filled below
      {longest + L"p", NULL},
      {L"", NULL},
      {L"Kit", NULL},
      {L"C:Kit", NULL},       // relative to drive C:'s current folder
      {L"\\Kit", NULL},     // relative to the current drive
  };
  std::wstring longestExpected = longest + L"\\";
  cases[4].expected = longestExpected.c_str();
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    wchar_t folder[MAX_PATH];
    qn::Result taken = qn::TakeHandedFolder(cases[i].value.c_str(), folder, MAX_PATH);
    HRESULT cause = cases[i].value.size() > longest.size() ? qn::kDoesNotFit : qn::kRefused;
    EXPECT_EQ(cases[i].expected ? S_OK : cause, taken.Code()) << i;
    EXPECT_EQ(std::wstring(cases[i].expected ? cases[i].expected : L""), folder) << i;
  }
}

TEST(FreshFolder, ACopyRunsFromItAndFindsWhoStartedTheFirstInstance) {
  // This program's own folder is none.
  EXPECT_FALSE(qn::RunsFromFreshFolder(kittest::TestProgramFolder().c_str(), L"", qn::kForAdministrators, false));
  ResetSetupState();
  DWORD ownParent = FindParentProcess();
  std::wstring ownParentPath = g_setup.parentProcessPath;
  kittest::ScratchFolder scratch;
  std::wstring parent = scratch.Path() + L"\\";
  const qn::FreshFolderKind kinds[] = {qn::kForAdministrators, qn::kForCurrentUser};
  for (size_t i = 0; i < 2; ++i) {
    wchar_t folder[MAX_PATH];
    qn::Result created = qn::CreateFreshFolder(parent.c_str(), L"kitfetcher.", kinds[i], folder, MAX_PATH);
    ASSERT_TRUE(created.Succeeded()) << i << " error " << std::hex << created.Code();
    std::wstring made = folder;
    ASSERT_EQ(parent.size() + 11 + 38 + 1, made.size()) << i;  // "kitfetcher." + {GUID} + backslash
    EXPECT_EQ(L"kitfetcher.{", made.substr(parent.size(), 12));
    wchar_t copy[MAX_PATH];
    ASSERT_TRUE(qn::PlaceProgramCopy(folder, kinds[i], copy, MAX_PATH).Succeeded()) << i;
    std::wstring own = kittest::OwnPath();
    EXPECT_EQ(made + own.substr(own.find_last_of(L'\\') + 1), copy);
    EXPECT_EQ(kittest::ReadBytes(own), kittest::ReadBytes(copy));

    std::wstring report = scratch.Sub(kittest::UniqueName(L"report"));
    SetEnvironmentVariableW(kFreshReportVariable, report.c_str());
    SetEnvironmentVariableW(L"KIT_TEST_FRESH_PARENT", parent.c_str());
    std::vector<std::wstring> lines = kittest::RunChildCase(copy, L"FreshFolderChild.*", report);
    SetEnvironmentVariableW(kFreshReportVariable, NULL);
    SetEnvironmentVariableW(L"KIT_TEST_FRESH_PARENT", NULL);
    ASSERT_EQ(3u, lines.size()) << i;
    // Its place and name: only under that parent, with that prefix.
    EXPECT_EQ(L"100", lines[0].substr(0, 3)) << i;
    if (!UnderWine()) {
      EXPECT_EQ(i == 0 ? L"11" : L"01", lines[0].substr(4)) << i;
    }
    // The copy's parent is this test; the one that counts started this test.
    EXPECT_EQ(ownParent, wcstoul(lines[1].c_str(), NULL, 10)) << i;
    EXPECT_EQ(ownParentPath, lines[2]) << i;
    EXPECT_TRUE(qn::RemoveProgramCopy(folder, copy).Succeeded()) << i;
    EXPECT_FALSE(kittest::Exists(made)) << i;
  }
}

}  // namespace
