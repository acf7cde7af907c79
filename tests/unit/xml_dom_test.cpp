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
  testsupport::ScratchFolder scratch_;
};

TEST_F(XmlDomTest, DocumentsLoadSynchronouslyWithoutExternalsOrValidation) {
  xmldom::DocumentPtr doc;
  ASSERT_EQ(S_OK, xmldom::CreateDocument(doc));
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
    ASSERT_TRUE(testsupport::WriteBytes(plain, Encode("<?xml version=\"1.0\"?>\n<r>x</r>", kEncodings[e])));
    xmldom::DocumentPtr doc;
    EXPECT_EQ(S_OK, xmldom::OpenDocument(plain.c_str(), doc)) << "encoding " << e;
    for (size_t d = 0; d < sizeof(kDeclaring) / sizeof(kDeclaring[0]); ++d) {
      std::wstring path = scratch_.Sub(L"declaring.xml");
      ASSERT_TRUE(testsupport::WriteBytes(path, Encode(std::string("<?xml version=\"1.0\"?>\n") + kDeclaring[d],
                                                         kEncodings[e])));
      EXPECT_NE(S_OK, xmldom::OpenDocument(path.c_str(), doc)) << kDeclaring[d] << " in encoding " << e;
      EXPECT_TRUE(doc.IsNull());
    }
  }
}

}  // namespace
