// kitfetcher's reader over the shared sample descriptions in
// tests/samples/locations: each must read as its .expect file says. kitpack's
// own reader is held to the same files, so the two keep to one set of rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "downloader/config/locations_reader.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/text_lines.h"

namespace {

// The samples folder as this program sees it: the source tree reached through
// drive Z: when the tests run under Wine.
std::wstring SamplesFolder() {
  std::string folder = KIT_SOURCE_DIR "/tests/samples/locations";
  if (!folder.empty() && folder[0] == '/') folder = "Z:" + folder;
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return testsupport::WideFromBytes(folder, CP_UTF8);
}

std::string Utf8(const wchar_t* text) { return testsupport::BytesFromWide(text ? text : L"", CP_UTF8); }

// The same key=value lines as kitpack's DescribeView.
std::string Describe(const LocationsConfig& c, const char* arch) {
  std::string out;
  std::string p = std::string(arch) + ".";
  out += p + "base_url=" + Utf8(c.baseUrl.OrEmpty()) + "\n";
  out += p + "manufacturer=" + Utf8(c.manufacturerName) + "\n";
  out += p + "product=" + Utf8(c.defaultProductName) + "\n";
  out += p + "language=" + Utf8(c.language) + "\n";
  out += p + "flags=" + (c.showNewFilesPrompt ? "1" : "0") + " " + (c.defaultNewFilesAnswer ? "1" : "0") + "\n";
  for (size_t i = 0; i < c.downloadableFiles.size(); ++i) {
    const DownloadableFile& f = c.downloadableFiles[i];
    out += p + "file=" + Utf8(f.name.OrEmpty()) + "|" + Utf8(f.relativePath.OrEmpty()) + "|" + (f.autorun ? "1" : "0") +
           "|" + Utf8(f.baseUrl.OrEmpty()) + "\n";
  }
  for (size_t i = 0; i < c.xmlPatches.size(); ++i) {
    out += p + "patch=" + Utf8(c.xmlPatches[i].path.OrEmpty()) + "|" + Utf8(c.xmlPatches[i].newValue.OrEmpty()) + "\n";
  }
  out += p + "minimums=" + std::to_string(c.cpuFreqMHz) + " " + std::to_string(c.hddMBytes) + " " +
         std::to_string(c.ramMBytes) + "\n";
  return out;
}

std::string ReadAs(const std::wstring& path, bool x64) {
  ResetSetupState();
  g_setup.isWow64 = x64;
  ReadLocations(path.c_str());
  std::string seen = Describe(g_setup.locations, x64 ? "x64" : "x86");
  ResetSetupState();
  return seen;
}

TEST(LocationsSamplesTest, EverySampleReadsAsItsExpectationSays) {
  std::wstring folder = SamplesFolder();
  std::vector<std::wstring> samples;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"\\*.xml").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, find) << Utf8(folder.c_str());
  do {
    samples.push_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  EXPECT_GE(samples.size(), 5u);
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(Utf8(samples[i].c_str()));
    std::wstring path = folder + L"\\" + samples[i];
    std::wstring expect = path.substr(0, path.size() - 4) + L".expect";
    EXPECT_EQ(testsupport::ReadBytes(expect), ReadAs(path, false) + ReadAs(path, true));
  }
}

}  // namespace
