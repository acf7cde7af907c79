// The restart registration and the device backup, written to the real registry
// under keys of the test's own (the machine's Run key and the device keys are
// shared with every other test of the prefix).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/process_platform.h"
#include "downloader/services/registry_services.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/needs_32bit_code.h"
#include "tests/unit/support/unique_name.h"

namespace {

struct RegValue {
  LONG status;
  DWORD type;
  std::vector<BYTE> data;
};

RegValue ReadValue(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view) {
  RegValue v = {ERROR_SUCCESS, 0, std::vector<BYTE>()};
  HKEY k;
  v.status = RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &k);
  if (v.status != ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.status = RegQueryValueExW(k, name, NULL, &v.type, NULL, &size);
  if (v.status == ERROR_SUCCESS) {
    v.data.resize(size);
    v.status = RegQueryValueExW(k, name, NULL, &v.type, size ? &v.data[0] : NULL, &size);
    v.data.resize(size);
  }
  RegCloseKey(k);
  return v;
}

void SetValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size,
              REGSAM view = 0) {
  HKEY k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &k, NULL));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(k);
}

void DeleteKeyInViews(HKEY root, const std::wstring& key) {
  RegDeleteKeyExW(root, key.c_str(), KEY_WOW64_64KEY, 0);
  RegDeleteKeyExW(root, key.c_str(), KEY_WOW64_32KEY, 0);
}

std::wstring AsText(const std::vector<BYTE>& data) {
  if (data.size() < sizeof(wchar_t)) return L"<short>";
  return std::wstring(reinterpret_cast<const wchar_t*>(&data[0]), data.size() / sizeof(wchar_t));
}

TEST(RestartCommand, QuotesBothFixedProgramNames) {
  wchar_t command[1090];
  ASSERT_TRUE(BuildRestartCommand(L"C:\\Kit\\", command, 1090));
  EXPECT_STREQ(L"\"C:\\Kit\\kitstarter.exe\" /run:\"C:\\Kit\\kitfetcher.exe\" /args:\"/after_restart\"", command);
}

TEST(RestartCommand, LongestFolderFitsAndSmallBuffersAreRefused) {
  std::wstring folder = L"C:\\" + std::wstring(255, L'k') + L"\\";  // 259 characters
  wchar_t command[1090];
  ASSERT_TRUE(BuildRestartCommand(folder.c_str(), command, 1090));
  std::wstring expected = L"\"" + folder + L"kitstarter.exe\" /run:\"" + folder +
                          L"kitfetcher.exe\" /args:\"/after_restart\"";
  EXPECT_EQ(expected, std::wstring(command));

  wchar_t small[40];
  wmemset(small, L'#', 40);
  EXPECT_FALSE(BuildRestartCommand(L"C:\\Kit\\", small, 39));
  EXPECT_EQ(L'\0', small[0]);
  EXPECT_EQ(L'#', small[39]);
}

// A Run key of the test's own under HKLM\SOFTWARE, opened the way the program
// opens the machine's Run key.
class RestartRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    key_ = L"SOFTWARE\\" + kittest::UniqueName(L"KitTestRun");
    HKEY k;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                                             &k, NULL));
    RegCloseKey(k);
    place_.root = HKEY_LOCAL_MACHINE;
    place_.keyPath = key_.c_str();
    place_.valueName = L"qninstaller";
  }
  void TearDown() override {
    DeleteKeyInViews(HKEY_LOCAL_MACHINE, key_);
    ResetSetupState();
  }
  std::wstring key_;
  RestartRegistrationPlace place_;
};

TEST_F(RestartRegistration, WritesTheCommandInThe32BitView) {
  SKIP_UNLESS_32BIT_CODE("only a 32-bit program's own registry view is the 32-bit one");
  // The data names the fixed program files, whatever this program is called.
  lstrcpynW(g_setup.programFolder, L"C:\\Kit\\", MAX_PATH);
  const std::wstring data =
      L"\"C:\\Kit\\kitstarter.exe\" /run:\"C:\\Kit\\kitfetcher.exe\" /args:\"/after_restart\"";
  kittest::LogCapture log;
  EXPECT_EQ(ERROR_SUCCESS, RunSetupAfterRestartAt(place_));

  RegValue v = ReadValue(HKEY_LOCAL_MACHINE, key_, L"qninstaller", KEY_WOW64_32KEY);
  ASSERT_EQ(ERROR_SUCCESS, v.status);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
  EXPECT_EQ((data.size() + 1) * sizeof(wchar_t), v.data.size());
  EXPECT_EQ(data + L'\0', AsText(v.data));
  if (qn::RunsUnderWow64()) {
    EXPECT_NE(ERROR_SUCCESS, ReadValue(HKEY_LOCAL_MACHINE, key_, L"qninstaller", KEY_WOW64_64KEY).status);
  }

  std::vector<std::wstring> lines = log.Lines();
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(L"[SETUP] RunSetupAfterRestart >>", lines[0]);
  EXPECT_EQ(L"[SETUP] RunSetupAfterRestart run<" + data + L">", lines[1]);
  EXPECT_EQ(L"[SETUP] RunSetupAfterRestart ret<0>", lines[2]);
  EXPECT_EQ(L"[SETUP] RunSetupAfterRestart <<", lines[3]);
}

TEST_F(RestartRegistration, MissingKeyIsLoggedAndReturned) {
  std::wstring missing = key_ + L"\\missing";
  place_.keyPath = missing.c_str();
  kittest::LogCapture log;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RunSetupAfterRestartAt(place_));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteRestartRegistrationAt(place_));
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(L"[SETUP] RunSetupAfterRestart >>", lines[0]);
  EXPECT_EQ(L"[SETUP] Cannot open registry key " + missing + L" (error 2)", lines[1]);
  EXPECT_EQ(L"[SETUP] RunSetupAfterRestart <<", lines[2]);
  EXPECT_EQ(L"[SETUP] Cannot open registry key " + missing + L" (error 2)", lines[3]);
}

TEST_F(RestartRegistration, DeleteRemovesTheValueAndAMissingOneQuietly) {
  lstrcpynW(g_setup.programFolder, L"C:\\Kit\\", MAX_PATH);
  ASSERT_EQ(ERROR_SUCCESS, RunSetupAfterRestartAt(place_));
  kittest::LogCapture log;
  EXPECT_EQ(ERROR_SUCCESS, DeleteRestartRegistrationAt(place_));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(HKEY_LOCAL_MACHINE, key_, L"qninstaller", KEY_WOW64_32KEY).status);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteRestartRegistrationAt(place_));
  EXPECT_TRUE(log.Lines().empty());
}

// A device key of the test's own under the default user's hive and a backup
// key of its own under HKLM.
class DeviceBackup : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    std::wstring unique = kittest::UniqueName(L"KitTestDevice");
    sourceRoot_ = L".DEFAULT\\Software\\" + unique;
    source_ = sourceRoot_ + L"\\Internal";
    target_ = L"SOFTWARE\\" + unique + L"_backup";
    places_.sourceRoot = HKEY_USERS;
    places_.sourceKeyPath = source_.c_str();
    places_.targetRoot = HKEY_LOCAL_MACHINE;
    places_.targetKeyPath = target_.c_str();
    places_.targetValueName = L"backup";
  }
  void TearDown() override {
    RegDeleteKeyW(HKEY_USERS, source_.c_str());
    RegDeleteKeyW(HKEY_USERS, sourceRoot_.c_str());
    DeleteKeyInViews(HKEY_LOCAL_MACHINE, target_);
    ResetSetupState();
  }
  RegValue Backup(REGSAM view = KEY_WOW64_64KEY) {
    return ReadValue(HKEY_LOCAL_MACHINE, target_, L"backup", view);
  }
  std::wstring sourceRoot_, source_, target_;
  DeviceBackupPlaces places_;
};

TEST_F(DeviceBackup, DeviceWinsOverDevice2AndKeepsItsBinaryType) {
  const BYTE device[] = {0x00, 0x01, 0xFE, 0x00, 0x7F};
  const wchar_t device2[] = L"second";
  SetValue(HKEY_USERS, source_, L"DEVICE", REG_BINARY, device, sizeof(device));
  SetValue(HKEY_USERS, source_, L"DEVICE2", REG_SZ, device2, sizeof(device2));
  kittest::LogCapture log;
  EXPECT_EQ(ERROR_SUCCESS, BackupDeviceKeyAt(places_));
  RegValue v = Backup();
  ASSERT_EQ(ERROR_SUCCESS, v.status);
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), v.type);
  EXPECT_EQ(std::vector<BYTE>(device, device + sizeof(device)), v.data);
  if (qn::RunsUnderWow64()) {
    EXPECT_NE(ERROR_SUCCESS, Backup(KEY_WOW64_32KEY).status);
  }
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] Backing up the DEVICE key"));
}

TEST_F(DeviceBackup, Device2StringOverwritesAnEarlierBackup) {
  const DWORD earlier = 7;
  SetValue(HKEY_LOCAL_MACHINE, target_, L"backup", REG_DWORD, &earlier, sizeof(earlier), KEY_WOW64_64KEY);
  const wchar_t device2[] = L"device-two";
  SetValue(HKEY_USERS, source_, L"DEVICE2", REG_SZ, device2, sizeof(device2));
  EXPECT_EQ(ERROR_SUCCESS, BackupDeviceKeyAt(places_));
  RegValue v = Backup();
  ASSERT_EQ(ERROR_SUCCESS, v.status);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), v.type);
  EXPECT_EQ(std::wstring(device2, sizeof(device2) / sizeof(wchar_t)), AsText(v.data));
}

TEST_F(DeviceBackup, NeitherValueLogsTheDevice2QueryAndWritesNothing) {
  const DWORD other = 1;
  SetValue(HKEY_USERS, source_, L"OTHER", REG_DWORD, &other, sizeof(other));
  kittest::LogCapture log;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, BackupDeviceKeyAt(places_));
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] BackupDeviceKey: Cannot query value DEVICE2 (error 2)"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, Backup().status);
}

TEST_F(DeviceBackup, MissingSourceKeyIsLogged) {
  kittest::LogCapture log;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, BackupDeviceKeyAt(places_));
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] BackupDeviceKey: Cannot open key " + source_ + L" (error 2)"));
}

TEST_F(DeviceBackup, EmptyValueLeavesTheEarlierBackup) {
  const DWORD earlier = 7;
  SetValue(HKEY_LOCAL_MACHINE, target_, L"backup", REG_DWORD, &earlier, sizeof(earlier), KEY_WOW64_64KEY);
  SetValue(HKEY_USERS, source_, L"DEVICE", REG_BINARY, "", 0);
  EXPECT_EQ(ERROR_SUCCESS, BackupDeviceKeyAt(places_));
  RegValue v = Backup();
  ASSERT_EQ(ERROR_SUCCESS, v.status);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), v.type);
}

}  // namespace
