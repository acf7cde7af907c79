#include "wipekit/catalogue.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/scoped_handles.h"

namespace wipekit {

namespace {

constexpr DWORD kMaxCatalogueBytes = 1024 * 1024;

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (end == std::wstring::npos) return parts;
    start = end + 1;
  }
}

std::wstring Trim(const std::wstring& text) {
  size_t first = text.find_first_not_of(L" \t\r");
  if (first == std::wstring::npos) return std::wstring();
  size_t last = text.find_last_not_of(L" \t\r");
  return text.substr(first, last - first + 1);
}

void ParseProduct(const std::wstring& value, Catalogue* catalogue) {
  std::vector<std::wstring> fields = Split(value, L'|');
  CatalogueProduct product;
  product.name = fields[0];
  if (fields.size() > 1) {
    for (const std::wstring& part : Split(fields[1], L';')) {
      std::wstring key = Trim(part);
      if (!key.empty()) product.keys.push_back(key);
    }
  }
  if (fields.size() > 2) {
    for (const std::wstring& part : Split(fields[2], L',')) {
      std::wstring flag = Trim(part);
      if (flag == L"fail") product.failRemoval = true;
      if (flag == L"overcount") product.overcount = true;
    }
  }
  catalogue->products.push_back(product);
}

}  // namespace

void ParseCatalogue(const std::wstring& text, Catalogue* catalogue) {
  for (std::wstring line : Split(text, L'\n')) {
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    if (line.empty() || line[0] == L'#' || line[0] == L';') continue;
    size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    std::wstring name = Trim(line.substr(0, equals));
    std::wstring value = line.substr(equals + 1);
    if (name == L"product") ParseProduct(value, catalogue);
  }
}

bool ReadCatalogue(const std::wstring& path, Catalogue* catalogue) {
  qn::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  DWORD size = GetFileSize(file.Get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > kMaxCatalogueBytes) return false;
  std::string bytes(size, '\0');
  DWORD read = 0;
  BOOL ok = size == 0 || ReadFile(file.Get(), bytes.data(), size, &read, nullptr);
  file.Reset();
  if (!ok || read != size) return false;
  size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  std::wstring text;
  if (bytes.size() > skip) {
    int chars =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), nullptr, 0);
    if (chars <= 0) return false;
    text.resize(chars);
    MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), text.data(), chars);
  }
  ParseCatalogue(text, catalogue);
  return true;
}

}  // namespace wipekit

namespace wipekit {

namespace {

constexpr const wchar_t* kUninstallParents[] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
};

bool ExistsUnder(const wchar_t* parentPath, const wchar_t* key) {
  qn::ScopedRegKey parent;
  if (parent.Open(HKEY_LOCAL_MACHINE, parentPath, KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY) != ERROR_SUCCESS)
    return false;
  qn::ScopedRegKey entry;
  return entry.Open(parent.Get(), key, KEY_QUERY_VALUE | KEY_WOW64_64KEY) == ERROR_SUCCESS;
}

}  // namespace

bool UninstallEntryExists(const wchar_t* key) {
  if (!key || !key[0]) return false;
  for (const wchar_t* parentPath : kUninstallParents) {
    if (ExistsUnder(parentPath, key)) return true;
  }
  return false;
}

bool DeleteUninstallEntry(const wchar_t* key) {
  if (!key || !key[0]) return true;
  for (const wchar_t* parentPath : kUninstallParents) {
    qn::ScopedRegKey parent;
    if (parent.Open(HKEY_LOCAL_MACHINE, parentPath, KEY_ALL_ACCESS | KEY_WOW64_64KEY) == ERROR_SUCCESS)
      SHDeleteKeyW(parent.Get(), key);
  }
  return !UninstallEntryExists(key);
}

}  // namespace wipekit
