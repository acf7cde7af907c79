// The documents the program reads come from its package and from the server:
// they load synchronously, never reach out for external parts, and one that
// declares a document type is not read at all.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/scoped_handles.h"
#include "downloader/config/xml_dom.h"
#include "tests/unit/support/scratch_files.h"

namespace {

// The ASCII text in one of the encodings a parser recognises by itself.
enum Encoding { kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be };

std::string Encode(const std::string& ascii, Encoding encoding) {
  if (encoding == kUtf8) return ascii;
  if (encoding == kUtf8Bom) return "\xEF\xBB\xBF" + ascii;
  std::string out = encoding == kUtf16Le ? "\xFF\xFE" : "\xFE\xFF";
  for (size_t i = 0; i < ascii.size(); ++i) {
    out += encoding == kUtf16Le ? ascii[i] : '\0';
    out += encoding == kUtf16Le ? '\0' : ascii[i];
  }
  return out;
}

class XmlDomTest : public ::testing::Test {
 protected:
  qn::ScopedCoInit com_;
  kittest::ScratchFolder scratch_;
};

TEST_F(XmlDomTest, DocumentsLoadSynchronouslyWithoutExternalsOrValidation) {
  xmldom::DocumentPtr doc;
  ASSERT_EQ(S_OK, xmldom::CreateDocument(doc).Code());
  VARIANT_BOOL async = VARIANT_TRUE, externals = VARIANT_TRUE, validates = VARIANT_TRUE;
  ASSERT_EQ(S_OK, doc->get_async(&async));
  ASSERT_EQ(S_OK, doc->get_resolveExternals(&externals));
  ASSERT_EQ(S_OK, doc->get_validateOnParse(&validates));
  EXPECT_EQ(VARIANT_FALSE, async);
  EXPECT_EQ(VARIANT_FALSE, externals);
  EXPECT_EQ(VARIANT_FALSE, validates);
}

TEST_F(XmlDomTest, ADocumentThatDeclaresADocumentTypeIsNotRead) {
  const char* const kDeclaring[] = {
      "<!DOCTYPE r [<!ENTITY a \"aa\"><!ENTITY b \"&a;&a;&a;&a;\">]><r>&b;</r>",
      "<!DOCTYPE r SYSTEM \"http://127.0.0.1:1/r.dtd\"><r/>",
      "<!-- kit --><!DOCTYPE r PUBLIC \"-//K//r\" \"file:///C:/r.dtd\"><r/>",
  };
  const Encoding kEncodings[] = {kUtf8, kUtf8Bom, kUtf16Le, kUtf16Be};
  for (size_t e = 0; e < sizeof(kEncodings) / sizeof(kEncodings[0]); ++e) {
    std::wstring plain = scratch_.Sub(L"plain.xml");
    ASSERT_TRUE(kittest::WriteBytes(plain, Encode("<?xml version=\"1.0\"?>\n<r>x</r>", kEncodings[e])));
    xmldom::DocumentPtr doc;
    EXPECT_EQ(S_OK, xmldom::OpenDocument(plain.c_str(), doc).Code()) << "encoding " << e;
    for (size_t d = 0; d < sizeof(kDeclaring) / sizeof(kDeclaring[0]); ++d) {
      std::wstring path = scratch_.Sub(L"declaring.xml");
      ASSERT_TRUE(kittest::WriteBytes(path, Encode(std::string("<?xml version=\"1.0\"?>\n") + kDeclaring[d],
                                                         kEncodings[e])));
      EXPECT_NE(S_OK, xmldom::OpenDocument(path.c_str(), doc).Code()) << kDeclaring[d] << " in encoding " << e;
      EXPECT_TRUE(doc.IsNull());
    }
  }
}

}  // namespace

namespace {

// The ASCII text with each character spread over `width` bytes, the ASCII
// byte at `offset`, after the byte-order mark `mark`.
std::string Spread(const std::string& ascii, size_t width, size_t offset, const std::string& mark) {
  std::string out = mark;
  for (size_t i = 0; i < ascii.size(); ++i) {
    std::string unit(width, '\0');
    unit[offset] = ascii[i];
    out += unit;
  }
  return out;
}

DocumentTypeScan Scan(const std::string& bytes) {
  return ScanForDocumentType(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

const char kPlain[] = "<?xml version=\"1.0\"?>\n<r>x</r>";
const char kDeclaring[] = "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"http://127.0.0.1:1/r.dtd\"><r/>";

}  // namespace

// Every layout a parser recognises by its mark or its first bytes, the UCS-4
// orders 2143 and 3412 too: a declaration is found in each.
TEST(DocumentTypeScan, FindsTheDeclarationInEveryLayout) {
  const struct {
    const char* name;
    size_t width, offset;
    std::string mark;
  } kLayouts[] = {
      {"UTF-8", 1, 0, ""},
      {"UTF-8 with mark", 1, 0, "\xEF\xBB\xBF"},
      {"UTF-16LE", 2, 0, "\xFF\xFE"},
      {"UTF-16BE", 2, 1, "\xFE\xFF"},
      {"UTF-16LE without mark", 2, 0, ""},
      {"UTF-16BE without mark", 2, 1, ""},
      {"UCS-4 4321", 4, 0, std::string("\xFF\xFE\0\0", 4)},
      {"UCS-4 1234", 4, 3, std::string("\0\0\xFE\xFF", 4)},
      {"UCS-4 2143", 4, 2, std::string("\0\0\xFF\xFE", 4)},
      {"UCS-4 3412", 4, 1, std::string("\xFE\xFF\0\0", 4)},
      {"UCS-4 4321 without mark", 4, 0, ""},
      {"UCS-4 1234 without mark", 4, 3, ""},
      {"UCS-4 2143 without mark", 4, 2, ""},
      {"UCS-4 3412 without mark", 4, 1, ""},
  };
  for (size_t i = 0; i < sizeof(kLayouts) / sizeof(kLayouts[0]); ++i) {
    SCOPED_TRACE(kLayouts[i].name);
    EXPECT_EQ(kNoDocumentType, Scan(Spread(kPlain, kLayouts[i].width, kLayouts[i].offset, kLayouts[i].mark)));
    EXPECT_EQ(kDeclaresDocumentType,
              Scan(Spread(kDeclaring, kLayouts[i].width, kLayouts[i].offset, kLayouts[i].mark)));
  }
  EXPECT_EQ(kNoDocumentType, Scan(""));
}

// A document in an encoding the scan does not read cannot be vouched for: by
// its mark or first bytes (UTF-7, EBCDIC), or by the encoding it declares.
TEST(DocumentTypeScan, OnlyEncodingsItReadsAreVouchedFor) {
  const struct {
    std::string bytes;
    DocumentTypeScan scan;
  } kCases[] = {
      {"<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n+ADwAIQ-DOCTYPE r SYSTEM \"http://127.0.0.1:1/r.dtd\"+AD4-<r/>",
       kEncodingNotScanned},
      {"<?xml version='1.0' encoding='utf-7'?><r/>", kEncodingNotScanned},
      {"+/v8-<?xml version=\"1.0\"?><r/>", kEncodingNotScanned},
      {"\x4C\x6F\xA7\x94\x93@\xA5\x85\x99\xA2\x89\x96\x95~", kEncodingNotScanned},
      {"<?xml version=\"1.0\" encoding=\"IBM037\"?><r/>", kEncodingNotScanned},
      {"<?xml version=\"1.0\" encoding=\"ISO-2022-JP\"?><r/>", kEncodingNotScanned},
      {"<?xml version=\"1.0\" encoding=\"windows-12345\"?><r/>", kEncodingNotScanned},
      {"<?xml version=\"1.0\" encoding=UTF-7?><r/>", kEncodingNotScanned},      // unquoted
      {"<?xml version=\"1.0\" encoding=\"UTF-8\" <r/>", kEncodingNotScanned},  // declaration never closed
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>", kEncodingNotScanned},  // not in single bytes
      {Spread("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>", 2, 0, "\xFF\xFE"), kEncodingNotScanned},
      {Spread("<?xml version=\"1.0\" encoding=\"UCS-4\"?><r/>", 2, 0, "\xFF\xFE"), kEncodingNotScanned},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r/>", kNoDocumentType},
      {"<?xml version=\"1.0\"\tencoding = 'windows-1252' standalone='yes'?><r/>", kNoDocumentType},
      {"<?xml version=\"1.0\" encoding=\"iso-8859-15\"?><r/>", kNoDocumentType},
      {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r/>", kNoDocumentType},
      {"<r encoding=\"UTF-7\"/>", kNoDocumentType},  // no declaration: an attribute elsewhere says nothing
      {Spread("<?xml version=\"1.0\" encoding=\"UTF-16\"?><r/>", 2, 1, "\xFE\xFF"), kNoDocumentType},
      {Spread("<?xml version=\"1.0\" encoding=\"ISO-10646-UCS-4\"?><r/>", 4, 1, ""), kNoDocumentType},
  };
  for (size_t i = 0; i < sizeof(kCases) / sizeof(kCases[0]); ++i) {
    EXPECT_EQ(kCases[i].scan, Scan(kCases[i].bytes)) << "case " << i;
  }
}

TEST_F(XmlDomTest, DocumentsInEncodingsTheScanDoesNotReadAreNotRead) {
  const char* const kRefused[] = {
      "<?xml version=\"1.0\" encoding=\"UTF-7\"?>\n+ADwAIQ-DOCTYPE r +AFs-+ADwAIQ-ENTITY a \"aa\"+AD4AXQA+-<r>&a;</r>",
      "<?xml version=\"1.0\" encoding=\"UTF-7\"?><r>x</r>",
  };
  for (size_t i = 0; i < sizeof(kRefused) / sizeof(kRefused[0]); ++i) {
    std::wstring path = scratch_.Sub(L"utf7.xml");
    ASSERT_TRUE(kittest::WriteBytes(path, kRefused[i]));
    xmldom::DocumentPtr doc;
    EXPECT_EQ(S_FALSE, xmldom::OpenDocument(path.c_str(), doc).Code()) << kRefused[i];
    EXPECT_TRUE(doc.IsNull());
  }
  std::wstring path = scratch_.Sub(L"latin.xml");
  ASSERT_TRUE(kittest::WriteBytes(path, "<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>caf\xE9</r>"));
  xmldom::DocumentPtr doc;
  ASSERT_EQ(S_OK, xmldom::OpenDocument(path.c_str(), doc).Code());
  qn::ScopedBstr text;
  ASSERT_EQ(S_OK, doc->get_text(text.Receive()));
  EXPECT_STREQ(L"caf\x00E9", text.Text());
}

TEST_F(XmlDomTest, ADocumentLargerThanTheLimitIsNotRead) {
  // Padded with comments short enough for any parser's limit on one node.
  const std::string comment = "<!--" + std::string(1017, 'c') + "-->";
  for (DWORD size = xmldom::kMaxDocumentBytes; size <= xmldom::kMaxDocumentBytes + 1; ++size) {
    std::string bytes = "<?xml version=\"1.0\"?><r>x</r>";
    while (bytes.size() + 2 * comment.size() <= size) bytes += comment;
    bytes += "<!--" + std::string(size - bytes.size() - 7, 'c') + "-->";
    std::wstring path = scratch_.Sub(L"large.xml");
    ASSERT_TRUE(kittest::WriteBytes(path, bytes));
    xmldom::DocumentPtr doc;
    EXPECT_EQ(size == xmldom::kMaxDocumentBytes ? S_OK : S_FALSE, xmldom::OpenDocument(path.c_str(), doc).Code())
        << size;
  }
}
