// The vendor's keys and their base64 as kitfetcher reads them: only one
// canonical form of each is taken.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdint.h>
#include <string>
#include <vector>

#include "downloader/services/kit_crypto.h"
#include "tests/unit/support/vendor_keys.h"

using kittest::kKeyA;

TEST(KitCrypto, OnlyWellFormedRsaSignatureKeysAreRead) {
  // Edits of key A's blob, each breaking one rule; the base64 is rebuilt.
  struct Case {
    const char* what;
    size_t at;  // byte to change, or SIZE_MAX for none
    BYTE value;
    int lengthChange;
    bool read;
  } cases[] = {
      {"key A", SIZE_MAX, 0, 0, true},
      {"an exchange key", 5, 0xA4, 0, false},
      {"a private blob", 0, 0x07, 0, false},
      {"magic RSA2", 11, '2', 0, false},
      {"a public exponent of 1", 18, 0x00, 0, false},  // 0x00010001 -> 0x00000001
      {"an even public exponent", 16, 0x02, 0, false},
      {"a blob one byte long", SIZE_MAX, 0, 1, false},
      {"a blob one byte short", SIZE_MAX, 0, -1, false},
      {"the modulus's top bit clear", 275, 0x40, 0, false},
  };
  size_t length = 0;
  BYTE blob[kMaxPublicKeyBlobBytes + 4] = {0};
  ASSERT_TRUE(DecodeBase64(kKeyA, blob, sizeof(blob), &length));
  ASSERT_EQ(276u, length);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BYTE> edited(blob, blob + length + (c.lengthChange > 0 ? c.lengthChange : 0));
    if (c.lengthChange < 0) edited.pop_back();
    if (c.at != SIZE_MAX) edited[c.at] = c.value;
    DWORD chars = 0;
    CryptBinaryToStringW(edited.data(), static_cast<DWORD>(edited.size()), CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                         nullptr, &chars);
    std::wstring text(chars, L'\0');
    CryptBinaryToStringW(edited.data(), static_cast<DWORD>(edited.size()), CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF,
                         &text[0], &chars);
    text.resize(wcslen(text.c_str()));
    PublicKeyBlob key;
    EXPECT_EQ(c.read, ReadPublicKey(text.c_str(), &key));
  }
  // Two texts must never name one key: no blank, no line break.
  const std::wstring spaced[] = {L" " + std::wstring(kKeyA), std::wstring(kKeyA).insert(64, L"\n")};
  for (const std::wstring& text : spaced) {
    PublicKeyBlob key;
    EXPECT_FALSE(ReadPublicKey(text.c_str(), &key));
  }
}

TEST(KitCrypto, Base64IsReadOnlyInItsOneCanonicalForm) {
  struct Case {
    const wchar_t* text;
    bool read;
    size_t length;
  } cases[] = {{L"AA==", true, 1},  {L"AAA=", true, 2},  {L"AAAA", true, 3},   {L"AB==", false, 0},
               {L"AAB=", false, 0}, {L"A===", false, 0}, {L"AA=A", false, 0},  {L"AA", false, 0},
               {L"", false, 0},     {L"AA-_", false, 0}, {L"AAAA\n", false, 0}};
  for (const Case& c : cases) {
    BYTE out[8];
    size_t length = 99;
    EXPECT_EQ(c.read, DecodeBase64(c.text, out, sizeof(out), &length)) << testing::PrintToString(std::wstring(c.text));
    if (c.read) {
      EXPECT_EQ(c.length, length);
    }
  }
  BYTE small[2];
  size_t length = 0;
  EXPECT_FALSE(DecodeBase64(L"AAAA", small, sizeof(small), &length)) << "three bytes do not fit two";
}
