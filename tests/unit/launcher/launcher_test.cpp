// The launcher's path building and its do-nothing paths. Starting the setup
// programs and the shell start are covered end to end.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/guarded_string.h"
#include "launcher/launcher.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/scratch_files.h"

namespace {

std::wstring Appended(const wchar_t* start, const wchar_t* component) {
  qn::InPlaceGuardedString<512> path;
  if (start) path.Assign(start);
  EXPECT_TRUE(AppendPathComponent(component, path));
  path.CheckGuards();
  return path.c_str();
}

}  // namespace

TEST(AppendPathComponent, OneBackslashBetweenPathAndComponent) {
  EXPECT_EQ(L"C:\\Kit\\setup32.exe", Appended(L"C:\\Kit", L"setup32.exe"));
  EXPECT_EQ(L"C:\\Kit\\setup64.exe", Appended(L"C:\\Kit\\", L"setup64.exe"));
  EXPECT_EQ(L"C:\\Kit/setup64.exe", Appended(L"C:\\Kit/", L"setup64.exe"));
  // Leading separators of the component are dropped.
  EXPECT_EQ(L"C:\\Kit\\setup32.exe", Appended(L"C:\\Kit", L"\\setup32.exe"));
  EXPECT_EQ(L"C:\\Kit\\setup32.exe", Appended(L"C:\\Kit\\", L"\\/\\setup32.exe"));
  EXPECT_EQ(L"C:\\Kit\\sub\\x.exe", Appended(L"C:\\Kit", L"/sub\\x.exe"));
  // An empty string gets no separator in front.
  EXPECT_EQ(L"setup32.exe", Appended(NULL, L"\\setup32.exe"));
  EXPECT_EQ(L"setup32.exe", Appended(L"", L"setup32.exe"));
}

TEST(AppendPathComponent, EmptyComponentChangesNothing) {
  EXPECT_EQ(L"C:\\Kit", Appended(L"C:\\Kit", L""));
  EXPECT_EQ(L"C:\\Kit", Appended(L"C:\\Kit", NULL));
  qn::GuardedString none;
  EXPECT_TRUE(AppendPathComponent(L"", none));
  EXPECT_FALSE(none.HasBuffer());
}

TEST(AppendPathComponent, GrowsPastTheInPlaceBuffer) {
  qn::InPlaceGuardedString<512> path;
  std::wstring folder = L"C:\\" + std::wstring(505, L'd');
  path.Assign(folder.c_str());
  ASSERT_FALSE(path.IsHeapAllocated());
  AppendPathComponent(L"setup64.exe", path);
  EXPECT_TRUE(path.IsHeapAllocated());
  EXPECT_EQ(folder + L"\\setup64.exe", std::wstring(path.c_str()));
}

TEST(GetProgramFolder, FolderOfTheRunningProgramWithOneTrailingBackslash) {
  std::wstring expected = kittest::TestProgramFolder();  // with its backslash
  ASSERT_GT(expected.size(), 1u);
  qn::InPlaceGuardedString<512> folder;
  ASSERT_TRUE(GetProgramFolder(folder));
  EXPECT_EQ(expected, std::wstring(folder.c_str()));
  EXPECT_EQ(expected.size(), folder.Length());
  EXPECT_FALSE(folder.IsHeapAllocated());

  // A heap string works with the capacity it has.
  qn::GuardedString heap;
  ASSERT_TRUE(heap.Reserve(MAX_PATH));
  ASSERT_TRUE(GetProgramFolder(heap));
  EXPECT_EQ(expected, std::wstring(heap.c_str()));

  // The folder takes the setup program's name directly.
  AppendPathComponent(L"setup32.exe", folder);
  EXPECT_EQ(expected + L"setup32.exe", std::wstring(folder.c_str()));
}

TEST(GetProgramFolder, TooSmallCapacityFailsWithAnEmptyString) {
  qn::InPlaceGuardedString<8> folder;
  folder.Assign(L"old");
  EXPECT_FALSE(GetProgramFolder(folder));
  EXPECT_STREQ(L"", folder.c_str());
  EXPECT_EQ(0u, folder.Length());
  EXPECT_FALSE(folder.IsHeapAllocated());
  folder.CheckGuards();

  // Room for exactly the path but not its terminator: a cut path as well.
  wchar_t module[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, module, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  for (uint32_t capacity = n; capacity <= n + 1; ++capacity) {
    std::vector<uint32_t> storage((qn::GuardedString::BlockBytes(capacity) + 3) / 4);
    qn::GuardedStringHeader header;
    qn::GuardedString exact;
    exact.InitInPlace(&header, &storage[0], capacity);
    bool ok = GetProgramFolder(exact);
    exact.CheckGuards();
    EXPECT_EQ(capacity > n, ok) << capacity;
    EXPECT_EQ(ok ? kittest::TestProgramFolder() : std::wstring(), std::wstring(exact.c_str()));
    exact.Destroy();
  }
}

TEST(RunKitstarter, NothingToDoEndsAtOnceWithZero) {
  DWORD start = GetTickCount();
  EXPECT_EQ(0, RunKitstarter(L"", true, true));
  EXPECT_EQ(0, RunKitstarter(NULL, true, true));
  EXPECT_EQ(0, RunKitstarter(L"   ", true, true));
  // Names are case-sensitive: neither WOW64 nor Run is an option of ours.
  EXPECT_EQ(0, RunKitstarter(L"/WOW64 /Run:\"C:\\nothing.exe\" stray", true, true));
  EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST(StartPlatformSetup, WithoutItsFolderStartsNothingFromTheCurrentFolder) {
  // Setup programs in the current folder, where a name without a folder would
  // find them.
  kittest::ScratchFolder scratch;
  const wchar_t* names[] = {L"setup32.exe", L"setup64.exe"};
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_TRUE(CopyFileW((kittest::TestProgramFolder() + L"record_start.exe").c_str(),
                          scratch.Sub(names[i]).c_str(), FALSE));
  }
  wchar_t previous[MAX_PATH];
  ASSERT_TRUE(GetCurrentDirectoryW(MAX_PATH, previous));
  ASSERT_TRUE(SetCurrentDirectoryW(scratch.Path().c_str()));
  EXPECT_EQ(0, StartPlatformSetup(NULL));
  SetCurrentDirectoryW(previous);
  for (size_t i = 0; i < 2; ++i) EXPECT_FALSE(kittest::Exists(scratch.Sub(names[i]) + L".started.txt")) << names[i];
}
