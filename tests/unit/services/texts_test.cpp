// String-table texts, read from the program's own resources (mapped here as
// data, since the test program carries no string table), and from a
// resource library whose texts ask for other arguments than the program passes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/scoped_handles.h"
#include "downloader/services/texts.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "tests/unit/support/program_resources.h"

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
  static void SetUpTestCase() { program_ = kittest::LoadProgramResources(); }
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

namespace {

std::wstring OwnText(HMODULE module, UINT id) {
  wchar_t text[kTextChars];
  return LoadStringW(module, id, text, static_cast<int>(kTextChars)) > 0 ? std::wstring(text) : std::wstring();
}

}  // namespace

TEST(TextConversions, OnlyTheExactConversionsInOrderMatch) {
  const struct {
    const wchar_t* text;
    const char* expected;
    bool matches;
  } kCases[] = {
      {L"%d %s and %d %s", "dsds", true},
      {L"%d %s and %d", "dsds", false},          // one too few
      {L"%d %s and %d %s %s", "dsds", false},    // one too many
      {L"%s %d and %d %s", "dsds", false},       // order
      {L"%5d %s and %d %s", "dsds", false},      // a width is a conversion of its own kind
      {L"%ld MB", "d", false},                   // so is a length
      {L"%S cannot", "s", false},                // and the narrow string
      {L"%d %s and %d %s%", "dsds", false},      // a lone percent sign at the end
      {L"%s%s%s%s%s%s%s%s%n", "d", false},
      {L"%n", "", false},
      {L"100%% of %d MB", "d", true},            // a literal percent sign
      {L"%%%d%%", "d", true},
      {L"Plain text", "", true},
      {L"100% sure", "", false},
      {L"", "", true},
      {L"", "d", false},
      {NULL, "ds", false},
      {L"%s", NULL, false},
  };
  for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) {
    EXPECT_EQ(kCases[i].matches, TextHasConversions(kCases[i].text, kCases[i].expected))
        << (kCases[i].text ? kCases[i].text : L"(null)") << " against " << (kCases[i].expected ? kCases[i].expected : "(null)");
  }
}

// Every text of the program's own table takes exactly what its id is formatted
// with: the table of conversions and the string table agree.
TEST_F(LoadTextTest, EveryOwnTextFitsItsId) {
  g_setup.programInstance = program_;
  int seen = 0;
  for (UINT id = 100; id < IDS_STORE_ROW_FIRST + 100; id = id == 199 ? IDS_STORE_ROW_FIRST : id + 1) {
    std::wstring own = OwnText(program_, id);
    if (own.empty()) continue;
    ++seen;
    EXPECT_EQ(own, LoadText(id).c_str()) << "text " << id;
  }
  EXPECT_GE(seen, 37);
}

// A kitfetcher.ui beside the program: a text whose conversions differ from the
// ones its id is formatted with gives way to the program's own text; texts
// with the same conversions in other words are taken.
TEST_F(LoadTextTest, LibraryTextsWithOtherConversionsGiveWayToTheProgramsOwn) {
  qn::ScopedLibrary hostile(qn::LoadResourcesOnly((kittest::TestProgramFolder() + L"hostile_texts.dll").c_str()));
  ASSERT_TRUE(hostile.Valid()) << "hostile_texts.dll beside the tests";
  g_setup.programInstance = program_;
  g_setup.resourceModule = hostile.Get();
  const struct {
    UINT id;
    const wchar_t* library;  // the library's text when it is taken, else null: the program's own
  } kCases[] = {
      {IDS_DOWNLOADING_LABEL, L"Fetching:"},
      {IDS_CONFIRM_QUIT, NULL},  // a lone percent sign in a text that takes nothing
      {IDS_LONG_DURATION, NULL},
      {IDS_SHORT_DURATION, L"%d %s and %d %s"},
      {IDS_UNSUPPORTED_OS, NULL},
      {IDS_NOT_ENOUGH_DISK, NULL},
      {IDS_COMPETITOR_FOUND, NULL},
      {IDS_CPU_TOO_SLOW, NULL},
      {IDS_NOT_ENOUGH_RAM, L"Library: %d MB of memory wanted (100%% sure). Install anyway?"},
      {IDS_CANNOT_UNINSTALL, NULL},
      {IDS_OTHER_VERSION_FOUND, L"Library: another %s found; remove it to install %s?"},
      {IDS_DOWNLOAD_NEWER_FILES, NULL},
      {IDS_ERROR_CAPTION, L""},  // missing in the library, and taking nothing: stays empty
      // Store rows: those the program has keep its placeholders, others take one
      // or two "%s" and nothing else.
      {IDS_STORE_ROW_FIRST, NULL},
      {IDS_STORE_ROW_FIRST + 1, NULL},
      {IDS_STORE_ROW_FIRST + 2, NULL},  // missing in the library
      {IDS_STORE_ROW_FIRST + 3, L"_tlr-|https://library.example/tlr?N=%s"},
      {IDS_STORE_ROW_FIRST + 6, L"_lib-|https://library.example/lib?item=%s&affiliate=%s"},
      {IDS_STORE_ROW_FIRST + 7, L""},
      {IDS_STORE_ROW_FIRST + 8, L""},
      {IDS_STORE_ROW_FIRST + 9, L""},
  };
  for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) {
    std::wstring want = kCases[i].library ? kCases[i].library : OwnText(program_, kCases[i].id);
    if (!kCases[i].library) {
      EXPECT_NE(L"", want) << "text " << kCases[i].id;
    }
    EXPECT_EQ(want, LoadText(kCases[i].id).c_str()) << "text " << kCases[i].id;
  }
  g_setup.resourceModule = program_;
}
