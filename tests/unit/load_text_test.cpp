// String-table texts, read from the program's own resources (loaded here as a
// data file, since the test program carries no string table).
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <string>

#include "common/scoped_handles.h"
#include "downloader/services/load_text.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"

namespace {

const wchar_t kAlreadyRunning[] =
    L"There is already another instance of this application running. Please wait for the current instance to "
    L"finish befor running this program again.";
const wchar_t kLongDuration[] = L"%d %s, %d %s and %d %s";
const wchar_t kOtherVersion[] =
    L"Another version of %s was found on your system. In order to continue the installation process, you must "
    L"first remove this version. Do you want to continue? If you click no, you will not be able to instal this "
    L"version of %s";

class LoadTextTest : public ::testing::Test {
 protected:
  static void SetUpTestCase() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    PathRemoveFileSpecW(path);  // <build>\tests
    PathRemoveFileSpecW(path);  // <build>
    ASSERT_TRUE(PathAppendW(path, L"kitfetcher.exe"));
    program_ = LoadLibraryExW(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestCase() {
    if (program_) FreeLibrary(program_);
    program_ = NULL;
  }
  void SetUp() {
    ResetSetupState();
    ASSERT_TRUE(program_ != NULL) << "kitfetcher.exe not found beside the tests folder";
    g_setup.resourceModule = program_;
  }
  void TearDown() { ResetSetupState(); }

  static HMODULE program_;
};

HMODULE LoadTextTest::program_ = NULL;

struct LoaderArgs {
  UINT id;
  const wchar_t* expected;
  int rounds;
  int mismatches;
};

DWORD WINAPI LoadRepeatedly(void* param) {
  LoaderArgs* args = static_cast<LoaderArgs*>(param);
  for (int i = 0; i < args->rounds; ++i) {
    LoadedText text = LoadText(args->id);
    // Give the other thread a chance to overwrite a shared buffer, if there were one.
    if ((i & 15) == 0) Sleep(0);
    if (wcscmp(text.c_str(), args->expected) != 0) ++args->mismatches;
  }
  return 0;
}

}  // namespace

TEST_F(LoadTextTest, TextsComeVerbatimFromTheResourceModule) {
  EXPECT_STREQ(kAlreadyRunning, LoadText(IDS_ALREADY_RUNNING));
  EXPECT_STREQ(L"Error", LoadText(IDS_ERROR_CAPTION));
  EXPECT_STREQ(kLongDuration, LoadText(IDS_LONG_DURATION));
  EXPECT_STREQ(L"%d %s and %d %s", LoadText(IDS_SHORT_DURATION));
  EXPECT_STREQ(kOtherVersion, LoadText(IDS_OTHER_VERSION_FOUND));
  EXPECT_STREQ(L"hour", LoadText(IDS_HOUR));
  EXPECT_STREQ(L"seconds", LoadText(IDS_SECONDS));
}

TEST_F(LoadTextTest, MissingIdGivesAnEmptyText) {
  EXPECT_STREQ(L"", LoadText(109));
  EXPECT_STREQ(L"", LoadText(60000));
  // The test program itself has no string table.
  g_setup.resourceModule = NULL;
  EXPECT_STREQ(L"", LoadText(IDS_ALREADY_RUNNING));
}

TEST_F(LoadTextTest, EachCallerKeepsItsOwnCopy) {
  LoadedText first = LoadText(IDS_HOUR);
  LoadedText second = LoadText(IDS_MINUTES);
  EXPECT_STREQ(L"hour", first);
  EXPECT_STREQ(L"minutes", second);
  EXPECT_NE(first.c_str(), second.c_str());
}

TEST_F(LoadTextTest, TwoThreadsLoadingAtOnceGetIntactTexts) {
  LoaderArgs worker = {IDS_ALREADY_RUNNING, kAlreadyRunning, 3000, 0};
  LoaderArgs dialog = {IDS_LONG_DURATION, kLongDuration, 3000, 0};
  qn::ScopedHandle a(CreateThread(NULL, 0, LoadRepeatedly, &worker, 0, NULL));
  qn::ScopedHandle b(CreateThread(NULL, 0, LoadRepeatedly, &dialog, 0, NULL));
  ASSERT_TRUE(a.Valid() && b.Valid());
  HANDLE both[2] = {a.Get(), b.Get()};
  ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, TRUE, 60000));
  EXPECT_EQ(0, worker.mismatches);
  EXPECT_EQ(0, dialog.mismatches);
}
