// A file read whole: the size limit at its edge, and what is no file to read.
#include <gtest/gtest.h>

#include <string>

#include "common/file_bytes.h"
#include "tests/unit/support/scratch_files.h"

namespace {

using qn::FileBytes;

TEST(FileBytes, ReadsUpToTheLimitAndNothingThatIsNoFileOrLarger) {
  const std::wstring folder = kittest::TempFolder() + L"\\" + kittest::UniqueName(L"filebytes");
  const std::wstring file = folder + L"\\four.bin";
  ASSERT_TRUE(kittest::WriteBytes(file, std::string("ab\0d", 4)));
  ASSERT_TRUE(kittest::WriteBytes(folder + L"\\empty.bin", std::string()));
  struct Case {
    const char* what;
    std::wstring path;
    size_t maxBytes;
    HRESULT expected;
  } cases[] = {
      {"a file of exactly the limit", file, 4, S_OK},
      {"a file one byte over the limit", file, 3, qn::kDoesNotFit},
      {"an empty file", folder + L"\\empty.bin", 0, S_OK},
      {"a missing file", folder + L"\\missing.bin", 4, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
      {"a folder where a file is expected", folder, 4, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
  };
  for (FileBytes::Sharing sharing : {FileBytes::kOthersMayRead, FileBytes::kOthersMayChange}) {
    for (const Case& c : cases) {
      FileBytes bytes;
      qn::Result result = bytes.Read(c.path.c_str(), c.maxBytes, sharing);
      EXPECT_EQ(c.expected, result.Code()) << c.what << ", sharing " << sharing;
      if (result.Succeeded() && c.maxBytes == 4) {
        EXPECT_EQ(std::string("ab\0d", 4),
                  std::string(reinterpret_cast<const char*>(bytes.Data()), bytes.Length()))
            << c.what;
      }
      if (result.Failed()) {
        EXPECT_EQ(0u, bytes.Length()) << c.what << ": a failed read holds nothing";
      }
    }
  }
  kittest::DeleteTree(folder);
}

TEST(FileBytes, WritersAreShutOutOnlyWhenOthersMayNotChangeTheFile) {
  const std::wstring path = kittest::TempFolder() + L"\\" + kittest::UniqueName(L"filebytes-open") + L".bin";
  ASSERT_TRUE(kittest::WriteBytes(path, "text"));
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  FileBytes bytes;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION),
            bytes.Read(path.c_str(), 16, FileBytes::kOthersMayRead).Code());
  EXPECT_TRUE(bytes.Read(path.c_str(), 16, FileBytes::kOthersMayChange).Succeeded());
  EXPECT_EQ(4u, bytes.Length());
  CloseHandle(writer);
  kittest::DeleteTree(path);
}

}  // namespace
