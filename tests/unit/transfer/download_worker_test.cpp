// The download worker end to end within one process: package decisions, the
// user's answers, quitting, and what an aborted run leaves behind. The update
// path needs the kit test HTTP server (tests/support/with_http_server.sh).
#include <gtest/gtest.h>

#include <msi.h>
#include <objbase.h>

#include <memory>

#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/transfer/download_worker.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/ui/progress_dialog.h"
#include "tests/unit/support/fresh_setup_state.h"
#include "tests/unit/support/http_test_support.h"
#include "tests/unit/support/kit_package.h"
#include "tests/unit/support/message_boxes.h"
#include "tests/unit/support/program_resources.h"
#include "tests/unit/support/recording_host.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/transfer_ui_support.h"
#include "tests/unit/support/unique_name.h"

namespace {

using kittest::Exists;
using kittest::ReadBytes;

const wchar_t kCode[] = L"{3C0E9B21-7A44-4F0B-8E65-1D2F3A4B5C61}";
const wchar_t kOtherCode[] = L"{9D8C7B6A-5F4E-4D3C-2B1A-0F9E8D7C6B5A}";

using kittest::RecordingHost;

class DownloadWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(resources_.Valid()) << "kitfetcher.exe of this build carries the texts";
    g_setup.resourceModule = resources_.Get();
    g_setup.programInstance = resources_.Get();
    g_setup.osVersionCode = kOsWindows7;
    g_setup.locations.showNewFilesPrompt = false;
    g_setup.locations.defaultNewFilesAnswer = false;
  }

  // Runs the worker against a recording host that answers its questions in
  // order; whichever way it goes, the worker ends the host once.
  std::vector<UINT> RunWorker(const std::vector<int>& answers = std::vector<int>()) {
    host_.reset(new RecordingHost(answers));
    DownloadWorker(static_cast<WorkerHost*>(host_.get()));
    EXPECT_EQ(1, host_->Count(RecordingHost::kEnd));
    EXPECT_EQ(RecordingHost::kEnd, host_->calls.back().kind) << "nothing comes after the end";
    return host_->Boxes();
  }

  qn::ScopedLibrary resources_{kittest::LoadProgramResources()};
  kittest::WorkerScope worker_;
  std::unique_ptr<RecordingHost> host_;
};

const wchar_t kNeedsConnection[] =
    L"This product requires an internet connection in order to install. Please check your connection setting "
    L"and try again.";

struct Box {
  std::wstring text;
  HWND owner;
};

}  // namespace

TEST_F(DownloadWorkerTest, OnlinePackageWithoutServerTellsTheUserAndEndsTheDialog) {
  kittest::KitPackage package;  // no productcode.txt: an online package
  package.Add(L"a.exe", NULL, "a", "d", true);
  HRESULT com = CoInitialize(NULL);

  std::vector<Box> seen;
  HWND dialogSeen = NULL;
  {
    ProgressDialog dialog;
    kittest::Thread worker([&] { DownloadWorker(static_cast<WorkerHost*>(&dialog)); });
    kittest::Thread answerer([&] {
      if (!dialog.WaitUntilReady(15000)) return;
      dialogSeen = dialog.WaitForWindow();
      HWND box = kittest::WaitForMessageBox(30000, dialogSeen);
      if (!box) return dialog.End();
      Box b = {kittest::BoxText(box), GetWindow(box, GW_OWNER)};
      seen.push_back(b);
      kittest::AnswerBox(box, IDOK);
    });
    dialog.Run();  // returns once the worker has ended it
    worker.Join();
    dialog.ReleaseTaskbar();
  }
  if (SUCCEEDED(com)) CoUninitialize();

  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(kNeedsConnection, seen[0].text);
  EXPECT_EQ(dialogSeen, seen[0].owner);
  EXPECT_FALSE(IsWindow(dialogSeen));
  EXPECT_TRUE(g_setup.worker.aborted);
  EXPECT_EQ(L'\0', g_setup.worker.localSetupFolder[0]);
  EXPECT_TRUE(kittest::ListTree(package.CommonFolder()).empty());
}

TEST_F(DownloadWorkerTest, OfflinePackageTakesTheCopyPathWithoutAsking) {
  kittest::KitPackage package;
  package.WriteProductCode("{3C0E9B21-7A44-4F0B-8E65-1D2F3A4B5C61}  trailing words\r\n");
  package.Add(L"setup.dat", L"data", "payload", "d1");

  std::vector<UINT> seen = RunWorker();

  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(g_setup.worker.downloadNewFiles);  // defaultNewFilesAnswer
  EXPECT_FALSE(g_setup.worker.aborted);
  EXPECT_EQ(package.SetupFolder(kCode), std::wstring(g_setup.worker.localSetupFolder));
  EXPECT_EQ("payload", ReadBytes(package.SetupFolder(kCode) + L"\\data\\setup.dat"));
  EXPECT_EQ("d1", ReadBytes(package.SetupFolder(kCode) + L"\\data\\setup.dat.md5"));
}

TEST_F(DownloadWorkerTest, OfflinePackageAsksWhetherToFetchNewerFiles) {
  const int answers[] = {IDNO, IDYES};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    g_setup.worker = WorkerResult();
    kittest::KitPackage package;
    package.WriteProductCode("{3C0E9B21-7A44-4F0B-8E65-1D2F3A4B5C61}");
    package.Add(L"one.txt", NULL, "1", "d");
    g_setup.locations.showNewFilesPrompt = true;

    std::vector<UINT> seen = RunWorker(std::vector<int>(1, answers[i]));

    ASSERT_EQ(std::vector<UINT>(1, IDS_DOWNLOAD_NEWER_FILES), seen);
    EXPECT_EQ(L"Kit Maker", host_->calls[0].argument);
    EXPECT_EQ(answers[i] == IDYES, g_setup.worker.downloadNewFiles);
    // Without a server the offline kit is copied either way.
    EXPECT_FALSE(g_setup.worker.aborted);
    EXPECT_EQ("1", ReadBytes(package.SetupFolder(kCode) + L"\\one.txt"));
    g_setup.locations.downloadableFiles.clear();
  }
}

TEST_F(DownloadWorkerTest, ProductCodeThatCannotNameAFolderIsNeverUsed) {
  kittest::KitPackage package;
  package.WriteProductCode("..");
  package.Add(L"one.txt", NULL, "1", "d");

  std::vector<UINT> seen = RunWorker();

  EXPECT_TRUE(g_setup.worker.aborted);
  EXPECT_EQ(L'\0', g_setup.worker.localSetupFolder[0]);
  EXPECT_EQ(std::vector<UINT>(1, IDS_NEEDS_CONNECTION), seen);
  RemoveAbortedSetupFolder();
  EXPECT_TRUE(kittest::ListTree(package.CommonFolder()).empty());
}

TEST_F(DownloadWorkerTest, QuitBeforeTheWorkerGetsGoingPlacesNothing) {
  kittest::KitPackage package;
  package.WriteProductCode("{3C0E9B21-7A44-4F0B-8E65-1D2F3A4B5C61}");
  package.Add(L"one.txt", NULL, "1", "d");
  SetEvent(worker_.cancel.Get());

  std::vector<UINT> seen = RunWorker();

  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(g_setup.worker.aborted);
  EXPECT_TRUE(kittest::ListTree(package.CommonFolder()).empty());
}

TEST_F(DownloadWorkerTest, AbortInTheSharedFolderRemovesOnlyWhatTheRunPlaced) {
  kittest::KitPackage package;
  package.WriteProductCode("");  // an empty code: the kit goes to SetupInformation itself
  package.Add(L"first.txt", L"docs", "first", "d1");
  package.AddAutorunProbe(L"tools", "d2");
  package.Add(L"last.txt", NULL, "last", "d3");
  // Another product's kit, and files of others in a folder this run also uses.
  std::wstring shared = package.SharedFolder();
  kittest::WriteBytes(shared + L"\\" + kOtherCode + L"\\keep.txt", "theirs");
  kittest::WriteBytes(shared + L"\\docs\\theirs.txt", "theirs");
  worker_.SignalOnAutorun();

  std::vector<UINT> seen = RunWorker();
  EXPECT_TRUE(seen.empty());
  ASSERT_TRUE(g_setup.worker.aborted);
  EXPECT_EQ(shared, std::wstring(g_setup.worker.localSetupFolder));
  ASSERT_TRUE(Exists(shared + L"\\docs\\first.txt"));

  RemoveAbortedSetupFolder();

  std::vector<std::wstring> left = kittest::ListTree(shared);
  std::vector<std::wstring> expected;
  expected.push_back(std::wstring(kOtherCode) + L"\\");
  expected.push_back(std::wstring(kOtherCode) + L"\\keep.txt");
  expected.push_back(L"docs\\");
  expected.push_back(L"docs\\theirs.txt");
  // The autorun program's own output is not the run's to remove.
  expected.push_back(L"tools\\");
  expected.push_back(L"tools\\autorun_ran.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, left);
}

TEST_F(DownloadWorkerTest, AbortWithAProductCodeRemovesThatProductsFolderOnly) {
  kittest::KitPackage package;
  package.WriteProductCode("{3C0E9B21-7A44-4F0B-8E65-1D2F3A4B5C61}");
  package.Add(L"first.txt", L"docs", "first", "d1");
  package.AddAutorunProbe(L"tools", "d2");
  package.Add(L"last.txt", NULL, "last", "d3");
  kittest::WriteBytes(package.SetupFolder(kOtherCode) + L"\\keep.txt", "theirs");
  worker_.SignalOnAutorun();

  RunWorker();
  ASSERT_TRUE(g_setup.worker.aborted);
  ASSERT_TRUE(Exists(package.SetupFolder(kCode) + L"\\docs\\first.txt"));

  RemoveAbortedSetupFolder();

  EXPECT_FALSE(Exists(package.SetupFolder(kCode)));
  EXPECT_EQ("theirs", ReadBytes(package.SetupFolder(kOtherCode) + L"\\keep.txt"));
}

TEST_F(DownloadWorkerTest, UpdatePathDownloadsWhatIsNewOrMissingAndReusesTheRest) {
  REQUIRE_HTTP_SERVER();
  const wchar_t kRemoteCode[] = L"{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}";
  std::wstring site = L"/" + kittest::UniqueName(L"kit");
  std::wstring templ = kittest::Url(site) + L"/%s/";
  kittest::KitPackage package;  // offline, newer files wanted: the update path may reuse its files
  package.WriteProductCode("{3C0E9B21-7A44-4F0B-8E65-1D2F3A4B5C61}\n");
  g_setup.locations.defaultNewFilesAnswer = true;
  g_setup.locations.baseUrl.Set(templ.c_str());
  kittest::Serve(site + L"/en/productcode.txt", "{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}\n");
  std::string probe = ReadBytes(kittest::TestProgramFolder() + L"autorun_probe.exe");
  std::string notAProgram(3000, 'x');

  // Same digest on both sides: the package's copy is used (the server's would not run).
  package.AddAutorunProbe(L"same", "digest-1");
  kittest::Serve(site + L"/en/same/autorun_probe.exe", notAProgram);
  kittest::Serve(site + L"/en/same/autorun_probe.exe.md5", "digest-1");
  // A newer digest on the server: downloaded (the package's copy would not run).
  package.Add(L"autorun_probe.exe", L"newer", notAProgram, "old", true);
  kittest::Serve(site + L"/en/newer/autorun_probe.exe", probe);
  kittest::Serve(site + L"/en/newer/autorun_probe.exe.md5", "new");
  // Not in the package at all: downloaded.
  package.AddEntry(L"autorun_probe.exe", L"missing", true);
  kittest::Serve(site + L"/en/missing/autorun_probe.exe", probe);
  kittest::Serve(site + L"/en/missing/autorun_probe.exe.md5", "remote");
  // Not downloadable: copied to the top when the package has it with its .md5.
  package.Add(L"notes.txt", L"ignored", "", NULL);
  kittest::WriteBytes(package.PackageFolder() + L"\\notes.txt", "notes");
  kittest::WriteBytes(package.PackageFolder() + L"\\notes.txt.md5", "n1");
  package.AddEntry(L"absent.txt", NULL, false);

  std::vector<UINT> seen = RunWorker();

  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(g_setup.worker.aborted);
  EXPECT_TRUE(g_setup.worker.downloadNewFiles);
  std::wstring folder = package.SetupFolder(kRemoteCode);
  EXPECT_EQ(folder, std::wstring(g_setup.worker.localSetupFolder));
  const wchar_t* ran[] = {L"same", L"newer", L"missing"};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(ran[i]);
    EXPECT_TRUE(Exists(folder + L"\\" + ran[i] + L"\\autorun_ran.txt"));
    EXPECT_FALSE(Exists(folder + L"\\" + ran[i] + L"\\autorun_probe.exe"));
  }
  // The .md5 beside a placed file holds the server's digest only after an update.
  EXPECT_EQ("", ReadBytes(folder + L"\\same\\autorun_probe.exe.md5"));
  EXPECT_EQ("new", ReadBytes(folder + L"\\newer\\autorun_probe.exe.md5"));
  EXPECT_EQ("", ReadBytes(folder + L"\\missing\\autorun_probe.exe.md5"));
  EXPECT_EQ("notes", ReadBytes(folder + L"\\notes.txt"));
  EXPECT_EQ("n1", ReadBytes(folder + L"\\notes.txt.md5"));
  EXPECT_FALSE(Exists(folder + L"\\absent.txt"));
  EXPECT_FALSE(Exists(folder + L"\\ignored"));

  // Expected: every autorun file's server size; moved: only the two downloads.
  int32_t expected = static_cast<int32_t>(notAProgram.size() + 2 * probe.size());
  EXPECT_EQ(expected, g_setup.stats.bytesExpected);
  EXPECT_EQ(2 * probe.size(), g_setup.stats.bytesTransferred);
}

// An online package was shipped without kit files: what lies in its folder
// under a kit file's name, with its .md5 or without, was put there by someone
// else (a web page's download) and is never taken.
TEST_F(DownloadWorkerTest, AnOnlinePackageTakesNoKitFileFromItsFolder) {
  REQUIRE_HTTP_SERVER();
  std::wstring site = L"/" + kittest::UniqueName(L"kit");
  kittest::KitPackage package;  // online: no productcode.txt
  g_setup.locations.baseUrl.Set((kittest::Url(site) + L"/%s/").c_str());
  kittest::Serve(site + L"/en/productcode.txt", "{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}\n");
  std::string probe = ReadBytes(kittest::TestProgramFolder() + L"autorun_probe.exe");
  package.Add(L"autorun_probe.exe", L"planted", std::string(3000, 'x'), "digest-1", true);
  kittest::Serve(site + L"/en/planted/autorun_probe.exe", probe);
  kittest::Serve(site + L"/en/planted/autorun_probe.exe.md5", "digest-1");
  package.Add(L"notes.txt", NULL, "planted notes", "n1");

  EXPECT_TRUE(RunWorker().empty());
  EXPECT_FALSE(g_setup.worker.aborted);
  std::wstring folder = package.SetupFolder(L"{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}");
  EXPECT_TRUE(Exists(folder + L"\\planted\\autorun_ran.txt")) << "the server's copy ran";
  EXPECT_FALSE(Exists(folder + L"\\notes.txt"));
  EXPECT_EQ(probe.size(), g_setup.stats.bytesTransferred);
}

// The reinstall question follows Windows Installer's answer for the product
// code, asked of the real msi.dll.
TEST(ReinstallCheck, OnlyProductsOnTheMachineAreQuestioned) {
  EXPECT_TRUE(InstallStateAsksReinstall(INSTALLSTATE_DEFAULT));
  EXPECT_TRUE(InstallStateAsksReinstall(INSTALLSTATE_ABSENT));
  EXPECT_TRUE(InstallStateAsksReinstall(INSTALLSTATE_LOCAL));
  EXPECT_FALSE(InstallStateAsksReinstall(INSTALLSTATE_UNKNOWN));
  EXPECT_FALSE(InstallStateAsksReinstall(INSTALLSTATE_ADVERTISED));
}

TEST(ReinstallCheck, ACodeThatIsNoProductCodeIsNotTakenForAnInstalledProduct) {
  // Windows Installer rejects anything but a braced GUID as an argument error.
  INSTALLSTATE notAGuid = MsiQueryProductStateW(L"QN-2026-STUDIO");
  EXPECT_EQ(INSTALLSTATE_INVALIDARG, notAGuid);
  EXPECT_FALSE(InstallStateAsksReinstall(notAGuid));
  EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(L"{0F0E0D0C-0B0A-0908-0706-050403020100}"));
}
