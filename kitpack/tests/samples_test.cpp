// The shared sample descriptions read by kitpack's copy of kitfetcher's
// reader: each must give what its .expect file says. The Windows unit test
// tests/unit/config/locations_reader_test.cpp holds kitfetcher's own reader to the same files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kit_view.h"
#include "locations_reading.h"
#include "xml_source.h"

namespace kitpack {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SampleDescriptions, ReadAsTheirExpectationsSay) {
  int samples = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(KITPACK_SAMPLES_DIR)) {
    if (entry.path().extension() != ".xml") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++samples;
    XmlSource source;
    ASSERT_TRUE(source.Load(entry.path().string())) << source.Problem();
    std::string seen = DescribeView(ReadKitView(source, Arch::kX86), Arch::kX86) +
                       DescribeView(ReadKitView(source, Arch::kX64), Arch::kX64);
    fs::path expect = entry.path();
    EXPECT_EQ(ReadFile(expect.replace_extension(".expect")), seen);
  }
  EXPECT_GE(samples, 5);
}

}  // namespace
}  // namespace kitpack
