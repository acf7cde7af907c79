#include "downloader/transfer/kit_manifest.h"

#include <string.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/web_fetch.h"

const wchar_t kManifestFile[] = L"kitmanifest.txt";
const wchar_t kManifestSignatureFile[] = L"kitmanifest.sig";

namespace {

const char kFormatLine[] = "kitmanifest 1";
const char kProductPrefix[] = "product ";
const char kSerialPrefix[] = "serial ";
const char kFilePrefix[] = "file\t";
constexpr size_t kMaxProductCodeChars = 99;
// A name of a kit entry in UTF-8: a MAX_PATH name of three bytes a character.
constexpr size_t kMaxNameBytes = 3 * MAX_PATH;

// One line of the text, without its line end.
struct Span {
  const char* text;
  size_t length;
};

bool StartsWith(const Span& line, const char* prefix, Span* rest) {
  size_t n = strlen(prefix);
  if (line.length < n || memcmp(line.text, prefix, n) != 0) return false;
  rest->text = line.text + n;
  rest->length = line.length - n;
  return true;
}

// Decimal digits without sign or leading zero, up to 4294967295. Sizes of
// 4 GiB and more are beyond what the program moves, so they need no more.
bool ReadNumber(const Span& digits, DWORD* value) {
  if (digits.length == 0 || digits.length > 10 || (digits.length > 1 && digits.text[0] == '0')) return false;
  DWORD number = 0;
  for (size_t i = 0; i < digits.length; ++i) {
    DWORD digit = static_cast<DWORD>(digits.text[i] - '0');
    if (digit > 9 || number > (0xFFFFFFFFu - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  return true;
}

// The four fields of "file<TAB>folder<TAB>name<TAB>size<TAB>sha256".
bool SplitFileLine(const Span& line, Span fields[4]) {
  Span rest;
  if (!StartsWith(line, kFilePrefix, &rest)) return false;
  for (size_t i = 0; i < 4; ++i) {
    const char* tab = static_cast<const char*>(memchr(rest.text, '\t', rest.length));
    if ((i == 3) != (tab == nullptr)) return false;
    fields[i].text = rest.text;
    fields[i].length = tab ? static_cast<size_t>(tab - rest.text) : rest.length;
    rest.text += fields[i].length + 1;
    rest.length -= tab ? fields[i].length + 1 : rest.length;
  }
  return true;
}

// A folder or name: UTF-8 without separators, no longer than a path.
bool IsName(const Span& field, bool mayBeEmpty) {
  if (field.length == 0) return mayBeEmpty;
  if (field.length > kMaxNameBytes || memchr(field.text, '/', field.length) || memchr(field.text, '\\', field.length))
    return false;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, field.text, static_cast<int>(field.length), nullptr, 0) > 0;
}

bool ReadLine(const Span fields[4], ManifestLine* line) {
  for (size_t i = 0; i < fields[3].length; ++i) {
    char c = fields[3].text[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  DWORD size = 0;
  line->size = 0;
  if (!ReadNumber(fields[2], &size)) return false;
  line->size = size;
  return HexToDigestA(fields[3].text, fields[3].length, line->sha256);
}

bool SameField(const Span& a, const Span& b) { return a.length == b.length && memcmp(a.text, b.text, a.length) == 0; }

// Walks the lines of a text that ends with a line end.
class Lines {
 public:
  Lines(const BYTE* text, size_t length) : text_(reinterpret_cast<const char*>(text)), length_(length), at_(0) {}
  bool Next(Span* line) {
    if (at_ >= length_) return false;
    const char* end = static_cast<const char*>(memchr(text_ + at_, '\n', length_ - at_));
    line->text = text_ + at_;
    line->length = static_cast<size_t>(end - line->text);
    at_ += line->length + 1;
    return true;
  }

 private:
  const char* text_;
  size_t length_;
  size_t at_;
};

// The entry's folder and name as a manifest line writes them, in UTF-8.
bool EntryFields(const DownloadableFile& file, char* folder, Span* folderField, char* name, Span* nameField) {
  const wchar_t* texts[2] = {file.relativePath.OrEmpty(), file.name.OrEmpty()};
  char* out[2] = {folder, name};
  Span* fields[2] = {folderField, nameField};
  for (size_t i = 0; i < 2; ++i) {
    int bytes = texts[i][0] ? WideCharToMultiByte(CP_UTF8, 0, texts[i], -1, out[i], static_cast<int>(kMaxNameBytes),
                                                  nullptr, nullptr)
                            : 1;
    if (bytes <= 0) return false;
    fields[i]->text = out[i];
    fields[i]->length = static_cast<size_t>(bytes - 1);
  }
  return true;
}

}  // namespace

bool KitManifest::Parse(const wchar_t* productCode, const wchar_t* where) {
  Lines lines(text_, length_);
  Span line, rest, product;
  DWORD serial = 0;
  bool head = length_ > 0 && text_[length_ - 1] == '\n' && !memchr(text_, '\r', length_) &&
              !memchr(text_, '\0', length_) && lines.Next(&line) && StartsWith(line, kFormatLine, &rest) &&
              rest.length == 0 && lines.Next(&line) && StartsWith(line, kProductPrefix, &product) &&
              lines.Next(&line) && StartsWith(line, kSerialPrefix, &rest) && ReadNumber(rest, &serial);
  if (!head) {
    WriteLog(L"[KITFETCHER] %s: not a manifest", where);
    return false;
  }
  bool sameProduct = product.length > 0 && product.length <= kMaxProductCodeChars && product.length == wcslen(productCode);
  for (size_t i = 0; sameProduct && i < product.length; ++i) {
    sameProduct = product.text[i] > 0x20 && product.text[i] < 0x7F && static_cast<wchar_t>(product.text[i]) == productCode[i];
  }
  if (!sameProduct) {
    WriteLog(L"[KITFETCHER] %s: not for product %s", where, productCode);
    return false;
  }
  serial_ = static_cast<uint32_t>(serial);
  // Every file line is checked whole, and against each before it: a file
  // listed twice could be read either way.
  Lines files = lines;
  for (unsigned number = 4; files.Next(&line); ++number) {
    Span fields[4];
    ManifestLine entry;
    bool good = SplitFileLine(line, fields) && IsName(fields[0], true) && IsName(fields[1], false) &&
                ReadLine(fields, &entry);
    Lines earlier = lines;
    Span before, beforeFields[4];
    while (good && earlier.Next(&before) && before.text != line.text) {
      SplitFileLine(before, beforeFields);
      good = !SameField(fields[0], beforeFields[0]) || !SameField(fields[1], beforeFields[1]);
    }
    if (!good) {
      WriteLog(L"[KITFETCHER] %s: bad line %u", where, number);
      return false;
    }
  }
  return true;
}

qn::Result KitManifest::Accept(const BYTE* text, size_t textLength, const BYTE* signature, size_t signatureLength,
                         const KitTrust& trust, const wchar_t* productCode, const wchar_t* where) {
  accepted_ = false;
  bool signedByVendor = false;
  for (size_t i = 0; i < trust.keyCount && !signedByVendor; ++i) {
    signedByVendor = textLength <= kMaxManifestBytes &&
                     VerifySignature(trust.keys[i], text, static_cast<DWORD>(textLength), signature, signatureLength);
  }
  if (!signedByVendor) {
    WriteLog(L"[KITFETCHER] %s: the signature does not verify", where);
    return qn::Result(qn::kRefused);
  }
  return ReadVerified(text, textLength, trust.minSerial, productCode, where);
}

qn::Result KitManifest::ReadVerified(const BYTE* text, size_t textLength, uint32_t minSerial, const wchar_t* productCode,
                               const wchar_t* where) {
  accepted_ = false;
  text_ = text;
  length_ = textLength;
  if (textLength > kMaxManifestBytes || !Parse(productCode ? productCode : L"", where)) return qn::Result(qn::kRefused);
  if (serial_ < minSerial) {
    WriteLog(L"[KITFETCHER] %s: serial %lu is below the minimum %lu", where, static_cast<unsigned long>(serial_),
             static_cast<unsigned long>(minSerial));
    return qn::Result(qn::kRefused);
  }
  WriteLog(L"[KITFETCHER] %s: signed, serial %lu", where, static_cast<unsigned long>(serial_));
  accepted_ = true;
  return qn::Result::Ok();
}

bool KitManifest::Find(const DownloadableFile& file, ManifestLine* line) const {
  char folder[kMaxNameBytes];
  char name[kMaxNameBytes];
  Span folderField, nameField;
  if (!accepted_ || !EntryFields(file, folder, &folderField, name, &nameField)) return false;
  Lines lines(text_, length_);
  Span each, fields[4];
  for (int header = 0; header < 3; ++header) lines.Next(&each);
  while (lines.Next(&each)) {
    SplitFileLine(each, fields);
    if (SameField(fields[0], folderField) && SameField(fields[1], nameField)) return ReadLine(fields, line);
  }
  return false;
}

namespace {

// Downloads one file of the manifest's pair from the default base URL's folder.
qn::Result FetchServerFile(const wchar_t* name, size_t maxBytes, qn::FileBytes* bytes) {
  wchar_t url[kUrlChars];
  const wchar_t* components[1] = {name};
  wchar_t cachePath[kCachePathChars];
  qn::Result result(E_INVALIDARG);
  if (ComposeKitUrl(g_setup.locations.baseUrl.Get(), components, 1, url, kUrlChars)) {
    WriteLog(L"[KITFETCHER] Downloading %s", url);
    result = DownloadUncounted(url, cachePath, kCachePathChars);
  }
  if (result) result = bytes->Read(cachePath, maxBytes, qn::FileBytes::kOthersMayRead);
  return LogFailure(result, L"[KITFETCHER] Cannot download %s", name);
}

qn::Result ReadPackageFile(const wchar_t* name, size_t maxBytes, qn::FileBytes* bytes) {
  wchar_t path[MAX_PATH];
  qn::Result result = qn::JoinPath(path, MAX_PATH, g_setup.programFolder, name)
                          ? bytes->Read(path, maxBytes, qn::FileBytes::kOthersMayRead)
                          : qn::Result(qn::kDoesNotFit);
  return LogFailure(result, L"[KITFETCHER] Cannot read %s%s", g_setup.programFolder, name);
}

// Both files of one side, by `fetch`, then the manifest's checks; the text
// stays in `text` for the manifest.
qn::Result AcceptSide(KitManifest& manifest, qn::FileBytes& text,
                      qn::Result (*fetch)(const wchar_t*, size_t, qn::FileBytes*), const KitTrust& trust, const wchar_t* productCode, const wchar_t* where) {
  qn::FileBytes signature;
  qn::Result result = fetch(kManifestFile, kMaxManifestBytes, &text);
  if (result) result = fetch(kManifestSignatureFile, kMaxKeyBits / 8, &signature);
  if (result) {
    result = manifest.Accept(text.Data(), text.Length(), signature.Data(), signature.Length(), trust, productCode,
                             where);
  }
  return result;
}

}  // namespace

qn::Result KitGate::AcceptServerManifest(const wchar_t* productCode) {
  return AcceptSide(server_, serverText_, FetchServerFile, trust_, productCode, L"The server's manifest");
}

qn::Result KitGate::AcceptPackageManifest(const wchar_t* productCode) {
  return AcceptSide(package_, packageText_, ReadPackageFile, trust_, productCode, L"The package's manifest");
}

bool KitGate::LineOf(const KitManifest& manifest, const DownloadableFile& file, const wchar_t* side,
                     ManifestLine* line) const {
  if (manifest.Find(file, line)) return true;
  WriteLog(L"[KITFETCHER] The %s manifest does not list %s", side, file.name.OrEmpty());
  return false;
}
