// Starting programs, deleting trees and finding the parent process, with real
// processes and files in the prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>
#include <string>
#include <utility>
#include <vector>

#include "common/process_platform.h"
#include "common/wide_format.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/captured_log.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/scratch_files.h"

namespace {

using kittest::LogCapture;
using kittest::Exists;
using kittest::ScratchFolder;

const wchar_t kParentReportVariable[] = L"KIT_TEST_PARENT_REPORT";
const wchar_t kSessionManagerKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::vector<wchar_t> Modifiable(const std::wstring& text) {
  std::vector<wchar_t> buffer(text.begin(), text.end());
  buffer.push_back(L'\0');
  return buffer;
}

std::string ReadFirstLine(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return "<missing>";
  char buf[256] = {0};
  fgets(buf, sizeof(buf) - 1, file);
  fclose(file);
  std::string line(buf);
  while (!line.empty() && (line[line.size() - 1] == '\n' || line[line.size() - 1] == '\r' ||
                           line[line.size() - 1] == ' ')) {
    line.erase(line.size() - 1);
  }
  return line;
}

typedef std::vector<std::pair<std::wstring, std::wstring> > RenamePairs;

// The operations Windows will carry out at the next restart: pairs of source
// and target, an empty target meaning "delete".
RenamePairs ReadPendingOperations(HKEY key) {
  RenamePairs pairs;
  DWORD size = 0;
  if (RegQueryValueExW(key, kPendingValue, NULL, NULL, NULL, &size) != ERROR_SUCCESS || size == 0) return pairs;
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
  if (RegQueryValueExW(key, kPendingValue, NULL, NULL, reinterpret_cast<BYTE*>(&data[0]), &size) != ERROR_SUCCESS) {
    return pairs;
  }
  const wchar_t* p = &data[0];
  const wchar_t* end = p + size / sizeof(wchar_t);
  while (p < end && *p) {
    std::wstring source = p;
    p += source.size() + 1;
    std::wstring target = p < end ? p : L"";
    p += target.size() + 1;
    pairs.push_back(std::make_pair(source, target));
  }
  return pairs;
}

std::vector<std::wstring> PendingDeletions() {
  std::vector<std::wstring> sources;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return sources;
  }
  RenamePairs pairs = ReadPendingOperations(key);
  RegCloseKey(key);
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (pairs[i].second.empty()) sources.push_back(pairs[i].first);
  }
  return sources;
}

// Takes back every scheduled operation on a path inside `folder`.
void UnschedulePendingUnder(const std::wstring& folder) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  RenamePairs pairs = ReadPendingOperations(key);
  std::wstring prefix = L"\\??\\" + folder + L"\\";
  std::vector<wchar_t> kept;
  bool removed = false;
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (pairs[i].first.compare(0, prefix.size(), prefix) == 0) {
      removed = true;
      continue;
    }
    kept.insert(kept.end(), pairs[i].first.begin(), pairs[i].first.end());
    kept.push_back(L'\0');
    kept.insert(kept.end(), pairs[i].second.begin(), pairs[i].second.end());
    kept.push_back(L'\0');
  }
  if (!removed) {
    // Nothing of ours: leave the value exactly as other programs left it.
  } else if (kept.empty()) {
    RegDeleteValueW(key, kPendingValue);
  } else {
    kept.push_back(L'\0');
    RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(&kept[0]),
                   static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

int IndexOf(const std::vector<std::wstring>& list, const std::wstring& item) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (lstrcmpiW(list[i].c_str(), item.c_str()) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool AnyUnder(const std::vector<std::wstring>& list, const std::wstring& folder) {
  std::wstring prefix = L"\\??\\" + folder + L"\\";
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

class ProcessRunner : public ::testing::Test {
 protected:
  void SetUp() override { ResetSetupState(); }
  void TearDown() override { ResetSetupState(); }
};

TEST_F(ProcessRunner, NullCommandLineStartsNothing) {
  LogCapture log;
  EXPECT_EQ(qn::kRefused, RunProcessAndWait(NULL, NULL).Code());
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ProcessRunner, ChildThatEndsAtOnceLogsBothLines) {
  std::vector<wchar_t> command = Modifiable(L"cmd.exe /c exit 3");
  LogCapture log;
  EXPECT_TRUE(RunProcessAndWait(&command[0], NULL).Succeeded());
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(L"[KITFETCHER] Running: cmd.exe /c exit 3", lines[0]);
  const std::wstring started = L"[KITFETCHER] Started cmd.exe /c exit 3 with pid ";
  ASSERT_EQ(started, lines[1].substr(0, started.size()));
  EXPECT_GT(_wtoi(lines[1].c_str() + started.size()), 0);
}

TEST_F(ProcessRunner, RunsInTheWorkingFolderAndWaitsForTheEnd) {
  ScratchFolder scratch;
  // The child takes a moment before it writes, so a runner that did not wait
  // would return before the file exists.
  std::vector<wchar_t> command = Modifiable(L"cmd.exe /c ping -n 2 127.0.0.1 >nul & echo ran> here.txt");
  LogCapture log;
  EXPECT_TRUE(RunProcessAndWait(&command[0], scratch.Path().c_str()).Succeeded());
  EXPECT_EQ("ran", ReadFirstLine(scratch.Sub(L"here.txt")));
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] Running: cmd.exe /c ping -n 2 127.0.0.1 >nul & echo ran> here.txt in " +
                           scratch.Path()));
}

TEST_F(ProcessRunner, UnquotedPathWithSpacesFindsTheProgram) {
  ScratchFolder scratch;
  std::wstring folder = scratch.Sub(L"kit files");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\cmd.exe").c_str(), (folder + L"\\Installer.exe").c_str(),
                        FALSE));
  std::vector<wchar_t> command = Modifiable(folder + L"\\Installer.exe /c echo ran> out.txt");
  EXPECT_TRUE(RunProcessAndWait(&command[0], folder.c_str()).Succeeded());
  EXPECT_EQ("ran", ReadFirstLine(folder + L"\\out.txt"));
}

TEST_F(ProcessRunner, MissingProgramFails) {
  std::wstring line = L"C:\\no_such_folder_" + kittest::UniqueName(L"x") + L"\\Installer.exe";
  std::vector<wchar_t> command = Modifiable(line);
  LogCapture log;
  EXPECT_FALSE(RunProcessAndWait(&command[0], NULL).Succeeded());
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(L"[KITFETCHER] Running: " + line, lines[0]);
  EXPECT_EQ(L"[KITFETCHER] Failed to run: " + line, lines[1]);
}

// The uninstall commands of other products name their program without a path
// ("MsiExec.exe /X{...}"), and Windows would look for it beside the calling
// program first. A stand-in lies in the system folder and a planted copy
// beside this test program, under each name a command may use.
class ProgramWithoutPath : public ProcessRunner {
 protected:
  void SetUp() override {
    ProcessRunner::SetUp();
    wchar_t system[MAX_PATH];
    ASSERT_TRUE(GetSystemDirectoryW(system, MAX_PATH));
    systemFolder_ = std::wstring(system) + L"\\";
    name_ = kittest::UniqueName(L"kit_uninstall");
  }
  void TearDown() override {
    for (size_t i = 0; i < placed_.size(); ++i) {
      DeleteFileW(placed_[i].c_str());
      DeleteFileW((placed_[i] + L".started.txt").c_str());
    }
    ProcessRunner::TearDown();
  }
  void Place(const std::wstring& path) {
    ASSERT_TRUE(CopyFileW((kittest::TestProgramFolder() + L"record_start.exe").c_str(), path.c_str(), TRUE));
    placed_.push_back(path);
  }
  std::vector<std::string> CommandLines(const std::wstring& program) {
    std::vector<std::string> lines;
    std::string bytes;
    kittest::ReadFileInto(program + L".started.txt", &bytes);
    for (size_t at = bytes.find("cmdline="); at != std::string::npos; at = bytes.find("cmdline=", at + 1)) {
      lines.push_back(bytes.substr(at + 8, bytes.find('\n', at) - at - 8));
    }
    return lines;
  }
  std::wstring systemFolder_;
  std::wstring name_;
  std::vector<std::wstring> placed_;
};

TEST_F(ProgramWithoutPath, ComesFromTheSystemFolderNeverFromBesideTheProgram) {
  // Windows tries the unquoted name with blanks up to each blank in turn.
  std::wstring firstPrefix = name_ + L"x.exe";
  std::wstring blank = name_ + L"x uninstall.exe";
  Place(systemFolder_ + name_ + L".exe");
  Place(kittest::TestProgramFolder() + name_ + L".exe");
  Place(systemFolder_ + blank);
  Place(kittest::TestProgramFolder() + blank);
  Place(kittest::TestProgramFolder() + firstPrefix);
  // The command line reaches the program exactly as it was given.
  const std::wstring commands[] = {
      name_ + L".exe /X{6B49AE3D-5B2D-4C34-9A43-6F1A5C0F5D11}",  // as Uninstall entries give it
      L"\"" + name_ + L".exe\" /x quiet",                         // quoted
      name_ + L" /X{6B49AE3D-5B2D-4C34-9A43-6F1A5C0F5D11}",      // ".exe" left to Windows
      L"\t" + name_ + L".EXE /x",                                // blank in front, other letter case
      blank + L" /x",                                            // unquoted, with blanks
  };
  std::vector<std::string> expected;
  for (size_t i = 0; i < sizeof(commands) / sizeof(commands[0]); ++i) {
    std::vector<wchar_t> command = Modifiable(commands[i]);
    EXPECT_TRUE(RunProcessAndWait(&command[0], NULL).Succeeded()) << i;
    if (i < 4) expected.push_back(std::string(commands[i].begin(), commands[i].end()));
  }
  EXPECT_EQ(expected, CommandLines(systemFolder_ + name_ + L".exe"));
  EXPECT_EQ(1u, CommandLines(systemFolder_ + blank).size());
  EXPECT_EQ(0u, CommandLines(kittest::TestProgramFolder() + name_ + L".exe").size());
  EXPECT_EQ(0u, CommandLines(kittest::TestProgramFolder() + blank).size());
  EXPECT_EQ(0u, CommandLines(kittest::TestProgramFolder() + firstPrefix).size());
}

TEST_F(ProgramWithoutPath, OnlyBesideTheProgramIsNotStarted) {
  Place(kittest::TestProgramFolder() + name_ + L".exe");
  std::wstring line = name_ + L".exe /x";
  std::vector<wchar_t> command = Modifiable(line);
  LogCapture log;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), RunProcessAndWait(&command[0], NULL).Code());
  EXPECT_EQ(0u, CommandLines(kittest::TestProgramFolder() + name_ + L".exe").size());
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] Failed to run: " + line));
}

// Stand-ins for the redirection functions, to see when and where they are called.
struct RedirectionCalls {
  int disables;
  int reverts;
  DWORD disableThread;
  DWORD revertThread;
  PVOID revertedWith;
  BOOL disableResult;
};
RedirectionCalls g_calls;

BOOL WINAPI FakeDisable(PVOID* old) {
  ++g_calls.disables;
  g_calls.disableThread = GetCurrentThreadId();
  *old = reinterpret_cast<PVOID>(0x5150);
  return g_calls.disableResult;
}

BOOL WINAPI FakeRevert(PVOID old) {
  ++g_calls.reverts;
  g_calls.revertThread = GetCurrentThreadId();
  g_calls.revertedWith = old;
  return TRUE;
}

class Redirection : public ProcessRunner {
 protected:
  void SetUp() override {
    ProcessRunner::SetUp();
    RedirectionCalls none = {0, 0, 0, 0, NULL, TRUE};
    g_calls = none;
    g_setup.disableFsRedirection = FakeDisable;
    g_setup.revertFsRedirection = FakeRevert;
    g_setup.isWow64 = true;
  }
};

TEST_F(Redirection, SwitchedOffForTheRunAndBackOnOnTheSameThread) {
  std::vector<wchar_t> command = Modifiable(L"cmd.exe /c exit 0");
  EXPECT_TRUE(RunProcessAndWait(&command[0], NULL).Succeeded());
  EXPECT_EQ(1, g_calls.disables);
  EXPECT_EQ(1, g_calls.reverts);
  EXPECT_EQ(GetCurrentThreadId(), g_calls.disableThread);
  EXPECT_EQ(GetCurrentThreadId(), g_calls.revertThread);
  EXPECT_EQ(reinterpret_cast<PVOID>(0x5150), g_calls.revertedWith);
}

TEST_F(Redirection, BackOnAfterAFailedStart) {
  std::vector<wchar_t> command = Modifiable(L"C:\\no_such_program_here.exe");
  EXPECT_FALSE(RunProcessAndWait(&command[0], NULL).Succeeded());
  EXPECT_EQ(1, g_calls.disables);
  EXPECT_EQ(1, g_calls.reverts);
  EXPECT_EQ(reinterpret_cast<PVOID>(0x5150), g_calls.revertedWith);
}

TEST_F(Redirection, LeftAloneOn32BitWindowsAndWhenTheSwitchFails) {
  std::vector<wchar_t> command = Modifiable(L"cmd.exe /c exit 0");
  g_setup.isWow64 = false;
  EXPECT_TRUE(RunProcessAndWait(&command[0], NULL).Succeeded());
  EXPECT_EQ(0, g_calls.disables);

  g_setup.isWow64 = true;
  g_calls.disableResult = FALSE;
  EXPECT_TRUE(RunProcessAndWait(&command[0], NULL).Succeeded());
  EXPECT_EQ(1, g_calls.disables);
  EXPECT_EQ(0, g_calls.reverts);
}

TEST_F(ProcessRunner, SystemFolderCommandReachesThe64BitProgram) {
  if (!qn::RunsUnderWow64()) GTEST_SKIP() << "only on 64-bit Windows";
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  g_setup.disableFsRedirection =
      reinterpret_cast<Wow64DisableFn>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection"));
  g_setup.revertFsRedirection =
      reinterpret_cast<Wow64RevertFn>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection"));
  ASSERT_TRUE(g_setup.disableFsRedirection && g_setup.revertFsRedirection);
  g_setup.isWow64 = true;
  ScratchFolder scratch;
  std::wstring report = scratch.Sub(L"arch.txt");
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  std::wstring line = std::wstring(windows) + L"\\system32\\cmd.exe /c echo %PROCESSOR_ARCHITECTURE%> \"" +
                      report + L"\"";
  std::vector<wchar_t> command = Modifiable(line);
  ASSERT_TRUE(RunProcessAndWait(&command[0], NULL).Succeeded());
  EXPECT_EQ("AMD64", ReadFirstLine(report));

  // Redirection is back on for this thread: without the switch the same line
  // now starts the 32-bit program.
  g_setup.isWow64 = false;
  command = Modifiable(line);
  ASSERT_TRUE(RunProcessAndWait(&command[0], NULL).Succeeded());
  EXPECT_EQ("x86", ReadFirstLine(report));
}

class PathTree : public ProcessRunner {
 protected:
  void TearDown() override {
    UnschedulePendingUnder(scratch_.Path());
    ProcessRunner::TearDown();
  }
  void MakeFile(const std::wstring& path) { kittest::WriteBytes(path, "content"); }
  ScratchFolder scratch_;
};

TEST_F(PathTree, NullAndMissingPathsAreRefused) {
  EXPECT_EQ(qn::kRefused, RemovePathTree(NULL).Code());
  std::wstring missing = scratch_.Sub(L"missing");
  LogCapture log;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), RemovePathTree(missing.c_str()).Code());
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] Error finding path " + missing + L" (2)"));
}

TEST_F(PathTree, DeletableTreeLeavesNothingAndSchedulesNothing) {
  std::wstring root = scratch_.Sub(L"setup");
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW((root + L"\\sub").c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW((root + L"\\sub\\deeper").c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW((root + L"\\empty").c_str(), NULL));
  MakeFile(root + L"\\Installer.exe");
  MakeFile(root + L"\\sub\\a.md5");
  MakeFile(root + L"\\sub\\deeper\\b.bin");
  EXPECT_TRUE(RemovePathTree(root.c_str()).Succeeded());
  EXPECT_FALSE(Exists(root));
  EXPECT_FALSE(AnyUnder(PendingDeletions(), scratch_.Path()));
}

TEST_F(PathTree, PlainFileIsDeleted) {
  std::wstring file = scratch_.Sub(L"single.txt");
  MakeFile(file);
  EXPECT_TRUE(RemovePathTree(file.c_str()).Succeeded());
  EXPECT_FALSE(Exists(file));
}

TEST_F(PathTree, LockedFileAndItsFolderAreLeftForTheRestart) {
  std::wstring root = scratch_.Sub(L"setup");
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW((root + L"\\sub").c_str(), NULL));
  MakeFile(root + L"\\free.txt");
  MakeFile(root + L"\\sub\\inner.txt");
  std::wstring locked = root + L"\\locked.txt";
  HANDLE holder = CreateFileW(locked.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);

  EXPECT_TRUE(RemovePathTree(root.c_str()).Succeeded());
  EXPECT_FALSE(Exists(root + L"\\free.txt"));
  EXPECT_FALSE(Exists(root + L"\\sub"));
  EXPECT_TRUE(Exists(locked));
  std::vector<std::wstring> pending = PendingDeletions();
  int file = IndexOf(pending, L"\\??\\" + locked);
  int folder = IndexOf(pending, L"\\??\\" + root);
  EXPECT_GE(file, 0);
  EXPECT_GT(folder, file);  // children first, the folder last
  EXPECT_EQ(-1, IndexOf(pending, L"\\??\\" + root + L"\\free.txt"));
  CloseHandle(holder);
}

TEST_F(PathTree, ChildrenBeyondThePathLimitAreSkippedNotCut) {
  // A folder whose own path leaves room for a short name but not a long one.
  std::wstring base = scratch_.Path() + L"\\";
  std::wstring folder = base + std::wstring(250 - base.size(), L'f');
  ASSERT_EQ(250u, folder.size());
  ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), NULL));
  std::wstring shortChild = folder + L"\\a.txt";             // 256 characters
  std::wstring longName = L"kit_file_name_long.bin";
  std::wstring longChild = folder + L"\\" + longName;         // 273 characters
  MakeFile(shortChild);
  MakeFile(L"\\\\?\\" + longChild);
  ASSERT_TRUE(Exists(L"\\\\?\\" + longChild));

  LogCapture log;
  EXPECT_TRUE(RemovePathTree(folder.c_str()).Succeeded());
  EXPECT_FALSE(Exists(shortChild));
  EXPECT_TRUE(Exists(L"\\\\?\\" + longChild));
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] Skipping " + longName + L" in " + folder + L": path too long"));
  // The folder still holds the long entry, so it waits for the restart.
  EXPECT_GE(IndexOf(PendingDeletions(), L"\\??\\" + folder), 0);
}

TEST_F(PathTree, FolderOfTheFullPathLengthCannotBeListedButGoesWhenEmpty) {
  std::wstring base = scratch_.Path() + L"\\";
  std::wstring folder = base + std::wstring(259 - base.size(), L'g');
  ASSERT_EQ(259u, folder.size());
  ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), NULL));
  LogCapture log;
  EXPECT_TRUE(RemovePathTree(folder.c_str()).Succeeded());
  EXPECT_FALSE(Exists(L"\\\\?\\" + folder));
  EXPECT_TRUE(log.HasLine(L"[KITFETCHER] Cannot list " + folder + L": path too long"));
}

// Runs in a child copy of this program: reports what FindParentProcess found.
TEST(ParentProcessChild, ReportsItsParent) {
  wchar_t report[MAX_PATH];
  if (!GetEnvironmentVariableW(kParentReportVariable, report, MAX_PATH)) {
    GTEST_SKIP() << "runs only as the child of ParentProcess tests";
  }
  ResetSetupState();
  DWORD first = FindParentProcess();
  std::wstring firstPath = g_setup.parentProcessPath;
  lstrcpynW(g_setup.parentProcessPath, L"kept", MAX_PATH);
  DWORD second = FindParentProcess();
  wchar_t text[3 * MAX_PATH];
  ASSERT_TRUE(qn::FormatInto(text, 3 * MAX_PATH, L"%lu\n%s\n%lu\n%s\n", first, firstPath.c_str(), second,
                             g_setup.parentProcessPath));
  ASSERT_TRUE(kittest::WriteReport(report, text));
}

TEST(ParentProcess, ChildFindsThisProcessAndItsFile) {
  ScratchFolder scratch;
  std::wstring report = scratch.Sub(L"parent.txt");
  ASSERT_TRUE(SetEnvironmentVariableW(kParentReportVariable, report.c_str()));
  std::wstring own = kittest::OwnPath();
  std::vector<std::wstring> lines = kittest::RunChildCase(own, L"ParentProcessChild.ReportsItsParent", report);
  SetEnvironmentVariableW(kParentReportVariable, NULL);
  ASSERT_EQ(4u, lines.size());
  EXPECT_EQ(GetCurrentProcessId(), wcstoul(lines[0].c_str(), NULL, 10));
  EXPECT_EQ(0, lstrcmpiW(own.c_str(), lines[1].c_str())) << lines[1];
  // A path that is already known is not replaced; the id still comes back.
  EXPECT_EQ(GetCurrentProcessId(), wcstoul(lines[2].c_str(), NULL, 10));
  EXPECT_EQ(L"kept", lines[3]);
}

}  // namespace
