// Composing server URLs from a template that is not trusted as a format.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/fixed_string.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/web_fetch.h"

namespace {

class UrlComposeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    ASSERT_TRUE(qn::CopyText(g_setup.locations.language, kNameChars, L"en"));
  }
  void TearDown() override { ResetSetupState(); }

  std::wstring Compose(const wchar_t* templ, const wchar_t* a, const wchar_t* b = NULL) {
    const wchar_t* components[2] = {a, b};
    wchar_t url[kUrlChars];
    EXPECT_TRUE(qn::CopyText(url, kUrlChars, L"stale"));
    if (!ComposeKitUrl(templ, components, b ? 2 : 1, url, kUrlChars)) {
      EXPECT_EQ(L'\0', url[0]);
      return L"<failed>";
    }
    return url;
  }
};

TEST_F(UrlComposeTest, PutsTheLanguageAndJoinsComponentsWithOneSlash) {
  EXPECT_EQ(L"http://kit.example/dl/en/sub/a.exe", Compose(L"http://kit.example/dl/%s", L"sub", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/en/a.exe", Compose(L"http://kit.example/%s/", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/files/productcode.txt", Compose(L"http://kit.example/files", L"productcode.txt"));
  // Only a slash the URL already ends with saves one; backslashes stay.
  EXPECT_EQ(L"http://kit.example/en/sub\\dir/a.exe", Compose(L"http://kit.example/%s", L"sub\\dir", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/en//a.exe", Compose(L"http://kit.example/%s/", L"/a.exe"));
}

TEST_F(UrlComposeTest, KeepsEveryOtherPercentSignAsWritten) {
  EXPECT_EQ(L"http://kit.example/my%20kit/en/a.exe", Compose(L"http://kit.example/my%20kit/%s", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/%n%d%x/en/a.exe", Compose(L"http://kit.example/%n%d%x/%s", L"a.exe"));
  // A second placeholder has no argument: it stays empty, never reads one.
  EXPECT_EQ(L"http://kit.example/en/a.exe", Compose(L"http://kit.example/%s/%s", L"a.exe"));
  EXPECT_EQ(L"http://kit.example/en-/a.exe", Compose(L"http://kit.example/%s-%s", L"a.exe"));
}

TEST_F(UrlComposeTest, NoTemplateIsAFailure) {
  EXPECT_EQ(L"<failed>", Compose(NULL, L"a.exe"));
  EXPECT_EQ(L"<failed>", Compose(L"", L"a.exe"));
}

TEST_F(UrlComposeTest, StaysWithin259CharactersAndTheBuffer) {
  std::wstring base = L"http://kit.example/";
  std::wstring templ = base + std::wstring(259 - base.size() - 6, L'x');  // + "/a.exe" = 259
  EXPECT_EQ(259u, Compose(templ.c_str(), L"a.exe").size());
  templ += L"y";
  EXPECT_EQ(L"<failed>", Compose(templ.c_str(), L"a.exe"));

  // A smaller buffer is never written past.
  wchar_t guarded[20];
  for (size_t i = 0; i < 20; ++i) guarded[i] = L'#';
  const wchar_t* components[1] = {L"a.exe"};
  EXPECT_FALSE(ComposeKitUrl(L"http://kit.example/%s", components, 1, guarded, 16));
  EXPECT_EQ(L'\0', guarded[0]);
  for (size_t i = 16; i < 20; ++i) EXPECT_EQ(L'#', guarded[i]);
  EXPECT_FALSE(ComposeKitUrl(L"http://k/%s", components, 1, guarded, 17)) << "17 characters need 18";
  EXPECT_TRUE(ComposeKitUrl(L"http://k/%s", components, 1, guarded, 18));
  EXPECT_STREQ(L"http://k/en/a.exe", guarded);
}

TEST_F(UrlComposeTest, FileUrlsUseTheEntrysTemplateElseTheDefault) {
  g_setup.locations.baseUrl.Set(L"http://default.example/%s");
  DownloadableFile file;
  file.name.Set(L"setup.exe");
  file.md5Name.Set(L"setup.exe.md5");
  wchar_t url[kUrlChars];
  ASSERT_TRUE(ComposeFileUrl(file, file.md5Name.Get(), url, kUrlChars));
  EXPECT_STREQ(L"http://default.example/en/setup.exe.md5", url);
  file.relativePath.Set(L"tools");
  file.baseUrl.Set(L"http://own.example/%s/kit/");
  ASSERT_TRUE(ComposeFileUrl(file, file.name.Get(), url, kUrlChars));
  EXPECT_STREQ(L"http://own.example/en/kit/tools/setup.exe", url);

  g_setup.locations.baseUrl.Reset();
  file.baseUrl.Reset();
  EXPECT_FALSE(ComposeFileUrl(file, file.name.Get(), url, kUrlChars));
  EXPECT_EQ(L'\0', url[0]);
}

}  // namespace
