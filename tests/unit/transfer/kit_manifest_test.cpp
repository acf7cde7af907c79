// The vendor's signed manifest as kitfetcher checks it, against fixed vectors
// that OpenSSL made (`openssl dgst -sha256 -sign` with key A of vendor_keys.h).
// Wine's rsaenh accepts some malformed signature forms that Windows refuses; no
// case here relies on Wine refusing one.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "downloader/services/kit_crypto.h"
#include "downloader/transfer/kit_manifest.h"
#include "tests/unit/support/kit_package.h"
#include "tests/unit/support/vendor_keys.h"

namespace {

using kittest::kKeyA;
using kittest::kKeyB;

const char kProduct[] = "{5A3C2E10-7B4D-4F21-9C8E-1D2F3A4B5C6D}";
const wchar_t kProductW[] = L"{5A3C2E10-7B4D-4F21-9C8E-1D2F3A4B5C6D}";
// SHA-256 of "hello".
const char kHello[] = "2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824";
const char kSignedText[] =
    "kitmanifest 1\nproduct {5A3C2E10-7B4D-4F21-9C8E-1D2F3A4B5C6D}\nserial 3\n"
    "file\t\tsetup_kit.exe\t5\t2cf24dba5fb0a30e26e83b2ac5b9e29e1b161e5c1fa7425e73043362938b9824\n";
const char kSignatureHex[] =
    "8d827ac59930115b4d1e3e7da658d09500fbb3d21ec4a8c02ca625b16771a6ee4566e7d5297c6fb314bd9419e3b401825937025db2d1"
    "1735c9187b95bcb2f368b174fe02276fa67ca4c6e5baa1cbd7ad6978a75465b643fa5cb35c7bebc2832d9fafde8b4f856cca06dba0e226"
    "8d505abec1843ae398cca5923675c62a7dc267e0d93a1def222eb5b194ccbcb0fce17a20814679b462fed34251ce4aa2afe52d2f719d6a"
    "fde51290497df05c9b42a588409a967e6bb5108d93d0ffc1c4233247188cf29c8a7239cf18b951fc0dc819ac59fc91619ff4d529e026d2"
    "b473ad97ebcaae8425cafaac17743c1157c68825f8e153bc8afe9d606bf9506ca3ac36c1d4";

std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

std::vector<BYTE> Signature() {
  std::vector<BYTE> bytes;
  for (size_t i = 0; kSignatureHex[i]; i += 2) {
    bytes.push_back(static_cast<BYTE>(std::stoi(std::string(kSignatureHex + i, 2), nullptr, 16)));
  }
  return bytes;
}

KitTrust TrustIn(std::vector<const wchar_t*> keys, uint32_t minSerial = 0) {
  KitTrust trust;
  trust.pinned = true;
  for (const wchar_t* key : keys) EXPECT_TRUE(ReadPublicKey(key, &trust.keys[trust.keyCount++]));
  trust.minSerial = minSerial;
  return trust;
}

TEST(KitManifest, OnlyTheVendorsSignatureOfTheExactTextIsAccepted) {
  std::vector<BYTE> good = Signature();
  std::vector<BYTE> flippedText = Bytes(kSignedText);
  flippedText[20] ^= 0x01;
  std::vector<BYTE> flippedSignature = good;
  flippedSignature[100] ^= 0x80;
  std::vector<BYTE> truncated(good.begin(), good.end() - 1);
  struct Case {
    const char* what;
    std::vector<const wchar_t*> keys;
    std::vector<BYTE> text;
    std::vector<BYTE> signature;
    uint32_t minSerial;
    const wchar_t* product;
    bool accepted;
  } cases[] = {
      {"good", {kKeyA}, Bytes(kSignedText), good, 3, kProductW, true},
      {"key2 after rotation", {kKeyB, kKeyA}, Bytes(kSignedText), good, 0, kProductW, true},
      {"one bit of the text changed", {kKeyA}, flippedText, good, 0, kProductW, false},
      {"one bit of the signature changed", {kKeyA}, Bytes(kSignedText), flippedSignature, 0, kProductW, false},
      {"another key", {kKeyB}, Bytes(kSignedText), good, 0, kProductW, false},
      {"a truncated signature", {kKeyA}, Bytes(kSignedText), truncated, 0, kProductW, false},
      {"no signature", {kKeyA}, Bytes(kSignedText), std::vector<BYTE>(), 0, kProductW, false},
      {"a serial below the minimum", {kKeyA}, Bytes(kSignedText), good, 4, kProductW, false},
      {"another product", {kKeyA}, Bytes(kSignedText), good, 0, L"{5A3C2E10-7B4D-4F21-9C8E-1D2F3A4B5C6E}", false},
      {"no usable key pinned", {}, Bytes(kSignedText), good, 0, kProductW, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KitTrust trust = TrustIn(c.keys, c.minSerial);
    KitManifest manifest;
    EXPECT_EQ(c.accepted, manifest.Accept(c.text.data(), c.text.size(), c.signature.data(), c.signature.size(), trust,
                                          c.product, L"test")
                              .Succeeded());
    EXPECT_EQ(c.accepted, manifest.Accepted());
  }
}

TEST(KitManifest, OnlyTheFormatKitpackWritesIsRead) {
  std::string head = std::string("kitmanifest 1\nproduct ") + kProduct + "\nserial 7\n";
  std::string line = std::string("file\textras\tpost install.exe\t5\t") + kHello + "\n";
  struct Case {
    const char* what;
    std::string text;
    bool read;
  } cases[] = {
      {"a file line", head + line, true},
      {"no file at all", head, true},
      {"a UTF-8 name", head + "file\t\tk\xc3\xa4se.exe\t0\t" + kHello + "\n", true},
      {"the largest serial", std::string("kitmanifest 1\nproduct ") + kProduct + "\nserial 4294967295\n", true},
      {"CR LF line ends", "kitmanifest 1\r\nproduct " + std::string(kProduct) + "\r\nserial 7\r\n", false},
      {"no line end at the end", head + line.substr(0, line.size() - 1), false},
      {"another format version", "kitmanifest 2" + head.substr(13), false},
      {"a serial with a leading zero", std::string("kitmanifest 1\nproduct ") + kProduct + "\nserial 07\n", false},
      {"a serial past 32 bits", std::string("kitmanifest 1\nproduct ") + kProduct + "\nserial 4294967296\n", false},
      {"the header out of order", std::string("kitmanifest 1\nserial 7\nproduct ") + kProduct + "\n", false},
      {"a field too many", head + "file\t\ta.exe\t5\t" + kHello + "\tx\n", false},
      {"a field too few", head + "file\ta.exe\t5\t" + kHello + "\n", false},
      {"an upper-case hash", head + "file\t\ta.exe\t5\t2CF24DBA5FB0A30E26E83B2AC5B9E29E1B161E5C1FA7425E73043362938B9824\n",
       false},
      {"a size with a leading zero", head + "file\t\ta.exe\t05\t" + kHello + "\n", false},
      {"the largest size", head + "file\t\ta.exe\t4294967295\t" + kHello + "\n", true},
      {"a size of 4 GiB", head + "file\t\ta.exe\t4294967296\t" + kHello + "\n", false},
      {"a slash in a name", head + "file\t\tsub/a.exe\t5\t" + kHello + "\n", false},
      {"a backslash in a folder", head + "file\tx\\y\ta.exe\t5\t" + kHello + "\n", false},
      {"an empty name", head + "file\textras\t\t5\t" + kHello + "\n", false},
      {"a name that is no UTF-8", head + "file\t\t\xff.exe\t5\t" + kHello + "\n", false},
      {"one file twice", head + line + line, false},
      {"an empty line", head + "\n" + line, false},
      {"a line of another kind", head + "comment hello\n", false},
      {"a zero byte", head + std::string("file\t\ta\0.exe\t5\t", 15) + kHello + "\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KitManifest manifest;
    std::vector<BYTE> text = Bytes(c.text);
    EXPECT_EQ(c.read, manifest.ReadVerified(text.data(), text.size(), 0, kProductW, L"test").Succeeded());
  }
}

TEST(KitManifest, FilesAreFoundByFolderAndNameExactly) {
  std::string text = std::string("kitmanifest 1\nproduct ") + kProduct + "\nserial 7\nfile\textras\tpost.exe\t5\t" +
                     kHello + "\nfile\t\tsetup.exe\t5\t" + kHello + "\n";
  KitManifest manifest;
  std::vector<BYTE> bytes = Bytes(text);
  ASSERT_TRUE(manifest.ReadVerified(bytes.data(), bytes.size(), 7, kProductW, L"test"));
  struct Case {
    const wchar_t* folder;
    const wchar_t* name;
    bool listed;
  } cases[] = {{L"extras", L"post.exe", true},   {nullptr, L"setup.exe", true}, {nullptr, L"post.exe", false},
               {L"extras", L"setup.exe", false}, {L"EXTRAS", L"post.exe", false}, {L"extras", L"Post.exe", false}};
  for (const Case& c : cases) {
    DownloadableFile file = kittest::KitFile(c.name, c.folder);
    ManifestLine line = {0, {0}};
    EXPECT_EQ(c.listed, manifest.Find(file, &line)) << testing::PrintToString(std::wstring(c.name));
    EXPECT_EQ(c.listed ? 5u : 0u, line.size);
  }
}

}  // namespace
