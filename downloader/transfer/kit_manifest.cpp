#include "downloader/transfer/kit_manifest.h"

#include <new>
#include <string.h>
#include <wchar.h>

#include "common/path_join.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/url_download.h"

const wchar_t kManifestFile[] = L"kitmanifest.txt";
const wchar_t kManifestSignatureFile[] = L"kitmanifest.sig";

namespace {

const size_t kMaxProductCodeChars = 99;

// One line of the text, without its line end.
struct Span {
  const char* text;
  size_t length;
  bool Is(const char* literal) const { return length == strlen(literal) && memcmp(text, literal, length) == 0; }
  bool StartsWith(const char* prefix) const {
    size_t n = strlen(prefix);
    return length >= n && memcmp(text, prefix, n) == 0;
  }
  Span After(size_t n) const {
    Span rest = {text + n, length - n};
    return rest;
  }
};

// Decimal digits without sign or leading zero, no larger than `limit`.
bool ReadCanonicalNumber(const Span& digits, unsigned long long limit, unsigned long long* value) {
  if (digits.length == 0 || digits.length > 20 || (digits.length > 1 && digits.text[0] == '0')) return false;
  unsigned long long number = 0;
  for (size_t i = 0; i < digits.length; ++i) {
    char c = digits.text[i];
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (number > (limit - digit) / 10) return false;
    number = number * 10 + digit;
  }
  *value = number;
  return true;
}

// A path part of a line: UTF-8 without separators, as wide text.
bool ReadName(const Span& field, bool mayBeEmpty, qn::OwnedText* out) {
  if (field.length == 0) return mayBeEmpty && out->Set(L"");
  for (size_t i = 0; i < field.length; ++i) {
    if (field.text[i] == '/' || field.text[i] == '\\') return false;
  }
  if (field.length > 0x7FFFFFFF) return false;
  int chars = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, field.text, static_cast<int>(field.length), NULL, 0);
  if (chars <= 0) return false;
  wchar_t* wide = new (std::nothrow) wchar_t[chars + 1];
  if (!wide) return false;
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, field.text, static_cast<int>(field.length), wide, chars);
  wide[chars] = L'\0';
  bool ok = out->SetN(wide, static_cast<size_t>(chars));
  delete[] wide;
  return ok;
}

bool ReadHash(const Span& field, BYTE digest[kSha256Bytes]) {
  for (size_t i = 0; i < field.length; ++i) {
    char c = field.text[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return HexToDigestA(field.text, field.length, digest);
}

// "file<TAB>relative path<TAB>name<TAB>size<TAB>sha256".
bool ReadFileLine(const Span& line, ManifestLine* entry) {
  if (!line.StartsWith("file\t")) return false;
  Span fields[4];
  Span rest = line.After(5);
  for (size_t i = 0; i < 4; ++i) {
    const char* tab = static_cast<const char*>(memchr(rest.text, '\t', rest.length));
    bool last = i == 3;
    if (last != (tab == NULL)) return false;
    size_t length = tab ? static_cast<size_t>(tab - rest.text) : rest.length;
    Span field = {rest.text, length};
    fields[i] = field;
    if (tab) rest = rest.After(length + 1);
  }
  unsigned long long size = 0;
  if (!ReadName(fields[0], true, &entry->relativePath) || !ReadName(fields[1], false, &entry->name) ||
      !ReadCanonicalNumber(fields[2], 0xFFFFFFFFFFFFFFFFull, &size) || !ReadHash(fields[3], entry->sha256)) {
    return false;
  }
  entry->size = size;
  return true;
}

bool SameEntry(const ManifestLine& a, const wchar_t* relativePath, const wchar_t* name) {
  return wcscmp(a.relativePath.OrEmpty(), relativePath) == 0 && wcscmp(a.name.OrEmpty(), name) == 0;
}

}  // namespace

bool FileBytes::Read(const wchar_t* path, size_t maxBytes) {
  delete[] data_;
  data_ = 0;
  length_ = 0;
  qn::ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
  LARGE_INTEGER size;
  if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<ULONGLONG>(size.QuadPart) > maxBytes) {
    return false;
  }
  size_t length = static_cast<size_t>(size.QuadPart);
  data_ = new (std::nothrow) BYTE[length ? length : 1];
  if (!data_) return false;
  DWORD read = 0;
  // One more byte is asked for, so that a file that grew since is noticed.
  BYTE probe = 0;
  if ((length && (!ReadFile(file.Get(), data_, static_cast<DWORD>(length), &read, NULL) || read != length)) ||
      (ReadFile(file.Get(), &probe, 1, &read, NULL) && read != 0)) {
    delete[] data_;
    data_ = 0;
    return false;
  }
  length_ = length;
  return true;
}

bool KitManifest::Parse(const BYTE* bytes, size_t length, const wchar_t* productCode, const wchar_t* where) {
  lines_.clear();
  const char* text = reinterpret_cast<const char*>(bytes);
  if (length == 0 || text[length - 1] != '\n' || memchr(text, '\r', length) || memchr(text, '\0', length)) {
    WriteLog(L"[KITFETCHER] %s: not a manifest (line ends or stray bytes)", where);
    return false;
  }
  size_t number = 0;
  for (size_t at = 0; at < length; ++number) {
    const char* end = static_cast<const char*>(memchr(text + at, '\n', length - at));
    Span line = {text + at, static_cast<size_t>(end - (text + at))};
    at += line.length + 1;
    bool good;
    if (number == 0) {
      good = line.Is("kitmanifest 1");
    } else if (number == 1) {
      Span code = line.After(line.StartsWith("product ") ? 8 : line.length);
      good = line.StartsWith("product ") && code.length > 0 && code.length <= kMaxProductCodeChars &&
             code.length == wcslen(productCode);
      for (size_t i = 0; good && i < code.length; ++i) {
        good = code.text[i] > 0x20 && code.text[i] < 0x7F && static_cast<wchar_t>(code.text[i]) == productCode[i];
      }
      if (!good && line.StartsWith("product ")) {
        WriteLog(L"[KITFETCHER] %s is for another product: expected %s", where, productCode);
        return false;
      }
    } else if (number == 2) {
      unsigned long long serial = 0;
      good = line.StartsWith("serial ") && ReadCanonicalNumber(line.After(7), 0xFFFFFFFFull, &serial);
      serial_ = static_cast<uint32_t>(serial);
    } else {
      ManifestLine entry;
      good = ReadFileLine(line, &entry);
      for (size_t i = 0; good && i < lines_.size(); ++i) {
        good = !SameEntry(lines_[i], entry.relativePath.OrEmpty(), entry.name.OrEmpty());
      }
      if (good && !lines_.push_back(static_cast<ManifestLine&&>(entry))) {
        WriteLog(L"[KITFETCHER] %s: out of memory", where);
        return false;
      }
    }
    if (!good) {
      WriteLog(L"[KITFETCHER] %s: line %u is not what a manifest holds there", where,
               static_cast<unsigned>(number + 1));
      return false;
    }
  }
  if (number < 3) {
    WriteLog(L"[KITFETCHER] %s: not a manifest (%u lines)", where, static_cast<unsigned>(number));
    return false;
  }
  return true;
}

bool KitManifest::Accept(const BYTE* text, size_t textLength, const BYTE* signature, size_t signatureLength,
                         const KitTrust& trust, const wchar_t* productCode, const wchar_t* where) {
  accepted_ = false;
  lines_.clear();
  if (trust.keyCount == 0) {
    WriteLog(L"[KITFETCHER] %s: no usable key is pinned", where);
    return false;
  }
  bool signedByVendor = false;
  for (size_t i = 0; i < trust.keyCount && !signedByVendor; ++i) {
    signedByVendor = VerifySignature(trust.keys[i], text, textLength, signature, signatureLength);
  }
  if (!signedByVendor) {
    WriteLog(L"[KITFETCHER] %s: the signature (%u bytes) does not verify under the pinned key(s)", where,
             static_cast<unsigned>(signatureLength));
    return false;
  }
  return ReadVerified(text, textLength, trust.minSerial, productCode, where);
}

bool KitManifest::ReadVerified(const BYTE* text, size_t textLength, uint32_t minSerial, const wchar_t* productCode,
                               const wchar_t* where) {
  accepted_ = false;
  if (!Parse(text, textLength, productCode ? productCode : L"", where)) {
    lines_.clear();
    return false;
  }
  if (serial_ < minSerial) {
    WriteLog(L"[KITFETCHER] %s: serial %lu is below the minimum %lu", where, static_cast<unsigned long>(serial_),
             static_cast<unsigned long>(minSerial));
    lines_.clear();
    return false;
  }
  WriteLog(L"[KITFETCHER] %s: signed, serial %lu, %u file(s)", where, static_cast<unsigned long>(serial_),
           static_cast<unsigned>(lines_.size()));
  accepted_ = true;
  return true;
}

const ManifestLine* KitManifest::Find(const DownloadableFile& file) const {
  if (!accepted_) return NULL;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (SameEntry(lines_[i], file.relativePath.OrEmpty(), file.name.OrEmpty())) return &lines_[i];
  }
  return NULL;
}

namespace {

// Downloads one file of the manifest's pair from the default base URL's folder.
bool FetchServerFile(const wchar_t* name, size_t maxBytes, FileBytes* bytes) {
  wchar_t url[kUrlChars];
  const wchar_t* components[1] = {name};
  if (!ComposeKitUrl(g_setup.locations.baseUrl.Get(), components, 1, url, kUrlChars)) {
    WriteLog(L"[KITFETCHER] No URL for %s", name);
    return false;
  }
  WriteLog(L"[KITFETCHER] Downloading %s from: %s", name, url);
  wchar_t cachePath[kCachePathChars];
  HRESULT hr = DownloadUncounted(url, cachePath, kCachePathChars);
  if (hr != S_OK) {
    WriteLog(L"[KITFETCHER] Cannot download %s. Error %d", url, static_cast<int>(hr));
    return false;
  }
  if (!bytes->Read(cachePath, maxBytes)) {
    WriteLog(L"[KITFETCHER] Cannot read %s (over %u bytes, or unreadable)", cachePath, static_cast<unsigned>(maxBytes));
    return false;
  }
  return true;
}

bool ReadPackageFile(const wchar_t* name, size_t maxBytes, FileBytes* bytes) {
  wchar_t path[MAX_PATH];
  if (!qn::JoinPath(path, MAX_PATH, g_setup.programFolder, name) || !bytes->Read(path, maxBytes)) {
    WriteLog(L"[KITFETCHER] Cannot read %s%s (missing, unreadable or over %u bytes)", g_setup.programFolder, name,
             static_cast<unsigned>(maxBytes));
    return false;
  }
  return true;
}

}  // namespace

bool KitGate::AcceptServerManifest(const wchar_t* productCode) {
  FileBytes text, signature;
  return FetchServerFile(kManifestFile, kMaxManifestBytes, &text) &&
         FetchServerFile(kManifestSignatureFile, kMaxKeyBits / 8, &signature) &&
         server_.Accept(text.Data(), text.Length(), signature.Data(), signature.Length(), trust_, productCode,
                        L"The server's manifest");
}

bool KitGate::AcceptPackageManifest(const wchar_t* productCode) {
  FileBytes text, signature;
  return ReadPackageFile(kManifestFile, kMaxManifestBytes, &text) &&
         ReadPackageFile(kManifestSignatureFile, kMaxKeyBits / 8, &signature) &&
         package_.Accept(text.Data(), text.Length(), signature.Data(), signature.Length(), trust_, productCode,
                         L"The package's manifest");
}

const ManifestLine* KitGate::LineOf(const KitManifest& manifest, const DownloadableFile& file,
                                    const wchar_t* side) const {
  const ManifestLine* line = manifest.Find(file);
  if (!line) {
    WriteLog(L"[KITFETCHER] The %s manifest does not list %s (folder %s); it is not placed", side, file.name.OrEmpty(),
             file.relativePath.OrEmpty());
  }
  return line;
}
