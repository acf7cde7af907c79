// The offline copy: its progress routine called directly (under Wine the copy
// never calls it), and whole passes over a package in scratch folders.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "downloader/services/setup_state.h"
#include "downloader/transfer/offline_copy.h"
#include "tests/unit/support/fake_ticks.h"
#include "tests/unit/support/fresh_setup_state.h"
#include "tests/unit/support/kit_package.h"
#include "tests/unit/support/recording_host.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/unique_name.h"

namespace {

using kittest::Exists;
using kittest::ReadBytes;

class OfflineCopyTest : public ::testing::Test {
 protected:
  static DWORD Progress(CCopyFileStatusCallback* callback, uint32_t transferred) {
    LARGE_INTEGER zero = {};
    LARGE_INTEGER done;
    done.QuadPart = transferred;
    return CopyProgressRoutine(zero, done, zero, zero, 1, CALLBACK_CHUNK_FINISHED, NULL, NULL, callback);
  }

  kittest::WorkerScope worker_;
  kittest::RecordingHost host_;
};

const wchar_t kCode[] = L"{6F1B3A52-0D7C-4E59-9A1E-2B6C8D4F1A01}";

}  // namespace

TEST_F(OfflineCopyTest, ProgressRoutineWithoutContextContinues) {
  LARGE_INTEGER zero = {};
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE),
            CopyProgressRoutine(zero, zero, zero, zero, 1, CALLBACK_STREAM_SWITCH, NULL, NULL, NULL));
}

TEST_F(OfflineCopyTest, ProgressRoutineCountsDeltasAndSamplesSpeedAfterASecond) {
  kittest::FakeTicks clock(0xFFFFFE00u);  // the copy spans a tick wrap
  g_setup.stats.bytesTransferred = 1000;  // from an earlier file
  CCopyFileStatusCallback first(worker_.cancel.Get());
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(&first, 0));
  EXPECT_EQ(1, first.m_started);
  clock.Advance(1000);
  Progress(&first, 100);
  Progress(&first, 250);
  EXPECT_EQ(1250u, kittest::Stats().bytesTransferred);
  EXPECT_EQ(0.0, kittest::Stats().speedKBps);  // a second, not more

  clock.Advance(250);
  Progress(&first, 2000000);
  EXPECT_EQ(1000u + 2000000u, kittest::Stats().bytesTransferred);
  EXPECT_DOUBLE_EQ(2000000.0 / 1250.0 / 1000.0 * 1024.0, kittest::Stats().speedKBps);
  // The next sample is due only a second after this one.
  clock.Advance(1000);
  Progress(&first, 3000000);
  EXPECT_DOUBLE_EQ(2000000.0 / 1250.0 / 1000.0 * 1024.0, kittest::Stats().speedKBps);

  // The next file's copy counts from its own zero; the speed stays meanwhile.
  double kept = kittest::Stats().speedKBps;
  CCopyFileStatusCallback second(worker_.cancel.Get());
  Progress(&second, 0);
  Progress(&second, 10);
  EXPECT_EQ(1000u + 3000000u + 10u, kittest::Stats().bytesTransferred);
  EXPECT_EQ(kept, kittest::Stats().speedKBps);
}

TEST_F(OfflineCopyTest, ProgressRoutineStopsTheCopyOnceCancelled) {
  CCopyFileStatusCallback progress(worker_.cancel.Get());
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(&progress, 0));
  SetEvent(worker_.cancel.Get());
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CANCEL), Progress(&progress, 4096));
  EXPECT_EQ(1, progress.m_cancelled);
  EXPECT_EQ(4096u, kittest::Stats().bytesTransferred);  // counted before the stop

  // Without a usable event the copy cannot be cancelled.
  CCopyFileStatusCallback invalid(INVALID_HANDLE_VALUE);
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(&invalid, 0));
  CCopyFileStatusCallback none(NULL);
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(&none, 0));
  EXPECT_EQ(0, none.m_cancelled);
}

TEST_F(OfflineCopyTest, CopiesEveryFileWithItsDigestAndRunsAutorunFiles) {
  kittest::KitPackage package;
  package.Add(L"readme.txt", NULL, "read me", "abc123");
  package.Add(L"guide.txt", L"docs", "the guide", NULL);  // no .md5 in the package
  package.AddAutorunProbe(L"tools", "feed");

  CopyOfflineKit(kCode, host_);

  std::wstring folder = package.SetupFolder(kCode);
  EXPECT_EQ(folder, std::wstring(g_setup.worker.localSetupFolder));
  EXPECT_FALSE(g_setup.worker.aborted);
  EXPECT_EQ("read me", ReadBytes(folder + L"\\readme.txt"));
  EXPECT_EQ("abc123", ReadBytes(folder + L"\\readme.txt.md5"));
  EXPECT_EQ("the guide", ReadBytes(folder + L"\\docs\\guide.txt"));
  EXPECT_EQ("", ReadBytes(folder + L"\\docs\\guide.txt.md5"));
  EXPECT_EQ("feed", ReadBytes(folder + L"\\tools\\autorun_probe.exe.md5"));

  // The autorun file ran from its place, in its folder, and is gone afterwards.
  std::string note = ReadBytes(folder + L"\\tools\\autorun_ran.txt");
  EXPECT_NE(std::string::npos, note.find("\\tools\\autorun_probe.exe\n")) << note;
  EXPECT_NE(std::string::npos, note.find("\\tools\n")) << note;
  EXPECT_FALSE(Exists(folder + L"\\tools\\autorun_probe.exe"));

  // Sizes come from the package files.
  size_t probe = ReadBytes(package.PackageFolder() + L"\\tools\\autorun_probe.exe").size();
  ASSERT_GT(probe, 0u);
  EXPECT_EQ(static_cast<int32_t>(7 + 9 + probe), kittest::Stats().bytesExpected);
  EXPECT_EQ(1, host_.Count(kittest::RecordingHost::kEnd));
}

TEST_F(OfflineCopyTest, On32BitWindowsTheKitGoesUnderCommonProgramFiles) {
  g_setup.isWow64 = false;
  kittest::KitPackage package;
  g_setup.isWow64 = false;
  std::wstring maker = kittest::UniqueName(L"KitMaker");
  lstrcpyW(g_setup.locations.manufacturerName, maker.c_str());
  package.Add(L"one.txt", NULL, "1", "d1");

  CopyOfflineKit(kCode, host_);

  wchar_t common[MAX_PATH];
  ASSERT_TRUE(SHGetSpecialFolderPathW(NULL, common, CSIDL_PROGRAM_FILES_COMMON, FALSE));
  std::wstring folder = std::wstring(common) + L"\\" + maker + L"\\SetupInformation\\" + kCode;
  EXPECT_EQ(folder, std::wstring(g_setup.worker.localSetupFolder));
  EXPECT_EQ("1", ReadBytes(folder + L"\\one.txt"));
  EXPECT_FALSE(g_setup.worker.aborted);
  kittest::DeleteTree(std::wstring(common) + L"\\" + maker);
}

TEST_F(OfflineCopyTest, QuitDuringAnAutorunFileStopsBeforeTheNextFile) {
  kittest::KitPackage package;
  package.Add(L"first.txt", L"docs", "first", "d1");
  package.AddAutorunProbe(L"tools", "d2");
  package.Add(L"last.txt", NULL, "last", "d3");
  // The stand-in plays the user who confirms quitting while it runs.
  worker_.SignalOnAutorun();

  CopyOfflineKit(kCode, host_);

  std::wstring folder = package.SetupFolder(kCode);
  EXPECT_TRUE(g_setup.worker.aborted);
  EXPECT_TRUE(worker_.cancel.IsSet());
  EXPECT_EQ("first", ReadBytes(folder + L"\\docs\\first.txt"));
  EXPECT_TRUE(Exists(folder + L"\\tools\\autorun_ran.txt"));
  EXPECT_FALSE(Exists(folder + L"\\tools\\autorun_probe.exe"));
  EXPECT_FALSE(Exists(folder + L"\\last.txt"));
  EXPECT_FALSE(Exists(folder + L"\\last.txt.md5"));
}

TEST_F(OfflineCopyTest, QuitBeforeTheFirstFileCopiesNothing) {
  kittest::KitPackage package;
  package.Add(L"first.txt", NULL, "first", "d1");
  SetEvent(worker_.cancel.Get());

  CopyOfflineKit(kCode, host_);

  EXPECT_TRUE(g_setup.worker.aborted);
  EXPECT_TRUE(kittest::ListTree(package.SetupFolder(kCode)).empty());
}

TEST_F(OfflineCopyTest, EntriesThatCouldReachOutsideTheSetupFolderAreSkipped) {
  kittest::KitPackage package;
  package.Add(L"good.txt", NULL, "good", "dg");
  package.AddEntry(L"up.txt", L"..", false);
  package.AddEntry(L"nested.txt", L"a\\b", false);
  package.AddEntry(L"drive.txt", L"C:\\x", false);
  package.AddEntry(L"unc.txt", L"\\\\server\\share", false);
  package.AddEntry(L"..\\escape.txt", NULL, false);
  package.AddEntry(L"..", NULL, false);
  // A folder name Windows stores without its trailing dot and blank is no escape.
  kittest::WriteBytes(package.PackageFolder() + L"\\docs\\kept.txt", "kept");
  package.AddEntry(L"kept.txt", L"docs. ", false);

  CopyOfflineKit(kCode, host_);

  EXPECT_FALSE(g_setup.worker.aborted);
  std::vector<std::wstring> placed = kittest::ListTree(package.CommonFolder());
  std::wstring setup = std::wstring(L"Kit Maker\\SetupInformation\\") + kCode + L"\\";
  std::vector<std::wstring> expected;
  expected.push_back(L"Kit Maker\\");
  expected.push_back(L"Kit Maker\\SetupInformation\\");
  expected.push_back(setup);
  expected.push_back(setup + L"docs\\");
  expected.push_back(setup + L"docs\\kept.txt");
  expected.push_back(setup + L"docs\\kept.txt.md5");
  expected.push_back(setup + L"good.txt");
  expected.push_back(setup + L"good.txt.md5");
  EXPECT_EQ(expected, placed);
}

TEST_F(OfflineCopyTest, EmptyKitListSucceedsAtOnce) {
  kittest::KitPackage package;
  g_setup.worker.aborted = true;
  CopyOfflineKit(kCode, host_);
  EXPECT_FALSE(g_setup.worker.aborted);
  EXPECT_EQ(0, kittest::Stats().bytesExpected);
}
