#include "downloader/products/competing_products.h"

#include <string.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/products/product_array.h"
#include "downloader/products/uninstall_dll_wrapper.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/registry_services.h"
#include "downloader/services/setup_state.h"

namespace {

qn::Result BindLibrary(CUninstallDllWrapper& dll) { return dll.IsLoaded() ? qn::Result::Ok() : dll.Load(); }

// An answer is read (and checked) whatever code came with it; without one the
// library's failure, or kRefused when it claimed success.
qn::Result AskForProducts(CUninstallDllWrapper& dll, SAFEARRAY** products) {
  HRESULT asked = dll.GetInstalledProducts(products);
  if (*products) return qn::Result::Ok();
  return qn::Result(FAILED(asked) ? asked : qn::kRefused);
}

// A key goes into a 520-character entry field whole or not at all: a cut key
// would name another product, or none.
bool UsableKey(const wchar_t* productName, const wchar_t* key, size_t length) {
  if (!key || length == 0) {
    WriteLog(L"[SETUP] Skipping an empty key of product %s", productName);
    return false;
  }
  if (length >= kCompetingTextChars) {
    WriteLog(L"[SETUP] Skipping a key of product %s with %u characters or more", productName,
             static_cast<unsigned>(kCompetingTextChars));
    return false;
  }
  return true;
}

CompetingProduct& NextEntry() {
  CompetingProduct& entry = g_setup.competingProducts[g_setup.competingProductCount];
  memset(&entry, 0, sizeof(entry));
  return entry;
}

void AddKeyedEntry(const wchar_t* productName, const wchar_t* key, size_t keyLength) {
  CompetingProduct& entry = NextEntry();
  qn::CopyText(entry.displayName, kCompetingTextChars, productName);
  memcpy(entry.productKey, key, keyLength * sizeof(wchar_t));
  entry.productKey[keyLength] = L'\0';
  qn::CopyText(entry.uninstallString, kCompetingTextChars, entry.productKey);
  if (!LookUpUninstallEntry(0, entry.productKey, &entry)) LookUpUninstallEntry(1, entry.productKey, &entry);
  ++g_setup.competingProductCount;
}

void AddKeylessEntry(const wchar_t* productName) {
  CompetingProduct& entry = NextEntry();
  qn::CopyText(entry.displayName, kCompetingTextChars, productName);
  qn::CopyText(entry.productKey, kCompetingTextChars, productName);
  ++g_setup.competingProductCount;
}

bool TableFull() { return g_setup.competingProductCount >= kMaxCompetingProducts; }

bool SameText(const wchar_t* candidate, size_t candidateLength, const wchar_t* key, size_t keyLength) {
  return candidate && candidateLength == keyLength && memcmp(candidate, key, keyLength * sizeof(wchar_t)) == 0;
}

// The library answers yes or no, without a cause.
qn::Result AskLibraryToRemove(ProductRecord& record, UninstallProductFn uninstallProduct) {
  record.selected = 1;
  unsigned char flag = 0;
  return uninstallProduct(&record, &flag, 0) != 0 ? qn::Result::Ok() : qn::Result(E_FAIL);
}

bool NamesExistingPath(const wchar_t* text) {
  return text[0] != L'\0' && GetFileAttributesW(text) != INVALID_FILE_ATTRIBUTES;
}

bool MentionsMsiexec(const wchar_t* command) {
  wchar_t lower[kCompetingTextChars];
  if (!qn::CopyText(lower, kCompetingTextChars, command)) return false;
  size_t length = wcslen(lower);
  if (length) CharLowerBuffW(lower, static_cast<DWORD>(length));
  return wcsstr(lower, L"msiexec") != nullptr;
}

}  // namespace

qn::Result DetectCompetingProducts() {
  g_setup.competingProductCount = 0;
  CUninstallDllWrapper& dll = UninstallDll();
  qn::Result bound = BindLibrary(dll);
  if (!bound) return bound;
  SAFEARRAY* products = nullptr;
  qn::Result answered = AskForProducts(dll, &products);
  if (!answered) return answered;
  return FillCompetingProducts(products);
}

qn::Result FillCompetingProducts(SAFEARRAY* products) {
  CheckedProductArray array(products);
  qn::Result opened = array.Open();
  if (!opened) return opened;
  for (size_t i = 0; i < array.Count() && !TableFull(); ++i) {
    ProductRecord& record = array.At(i);
    CheckedKeyArray keys(record);
    size_t nameLength = LibraryTextLength(record.productName, kCompetingTextChars);
    if (nameLength >= kCompetingTextChars) {
      WriteLog(L"[SETUP] Skipping a product whose name has %u characters or more",
               static_cast<unsigned>(kCompetingTextChars));
      continue;
    }
    const wchar_t* name = record.productName ? record.productName : L"";
    if (!keys.Present()) {
      if (nameLength == 0) {
        WriteLog(L"[SETUP] Skipping a product with neither name nor keys");
        continue;
      }
      AddKeylessEntry(name);
      continue;
    }
    if (!keys.Open()) continue;
    for (size_t k = 0; k < keys.Count() && !TableFull(); ++k) {
      size_t keyLength = 0;
      const wchar_t* key = keys.At(k, &keyLength);
      if (UsableKey(name, key, keyLength)) AddKeyedEntry(name, key, keyLength);
    }
  }
  return qn::Result::Ok();
}

DWORD UninstallSelectedProducts(unsigned char* selection) {
  if (!selection) return 0;
  RunSetupAfterRestart();
  DWORD result = 0;
  for (size_t i = 0; i < g_setup.competingProductCount && i < kMaxCompetingProducts; ++i) {
    if (selection[i] != 1) continue;
    const CompetingProduct& entry = g_setup.competingProducts[i];
    bool namesPath = NamesExistingPath(entry.uninstallString);
    wchar_t commandLine[kCompetingTextChars];
    qn::CopyText(commandLine, kCompetingTextChars, entry.uninstallString);
    // Logged where it failed; the removal library still gets its turn.
    static_cast<void>(RunProcessAndWait(commandLine, nullptr));
    if (!namesPath && !MentionsMsiexec(entry.uninstallString)) {
      WriteLog(L"[SETUP] Uninstall product call into wipekit");
      if (!UninstallByKey(entry.productKey)) result = kRemovalFailed;
    }
  }
  delete[] selection;
  return result;
}

qn::Result UninstallByKey(const wchar_t* key) {
  if (!key || !key[0]) return qn::Result(qn::kRefused);
  CUninstallDllWrapper& dll = UninstallDll();
  qn::Result bound = BindLibrary(dll);
  if (!bound) return bound;
  UninstallProductFn uninstallProduct = dll.UninstallProductEntry();
  if (!uninstallProduct) {
    // Detection needs no removal entry point, so a library without one is bound
    // all the same; the removal it cannot do is a failed removal.
    WriteLog(L"[SETUP][CUninstallDllWrapper] pfnUninstallProduct is NULL: cannot remove %s", key);
    return qn::Result::FromWin32(ERROR_PROC_NOT_FOUND);
  }
  SAFEARRAY* products = nullptr;
  qn::Result answered = AskForProducts(dll, &products);
  if (!answered) return answered;
  return UninstallRecordsOwningKey(products, key, uninstallProduct);
}

qn::Result UninstallRecordsOwningKey(SAFEARRAY* products, const wchar_t* key, UninstallProductFn uninstallProduct) {
  CheckedProductArray array(products);
  qn::Result opened = array.Open();
  if (!opened) return opened;
  if (!key || !key[0] || !uninstallProduct) return qn::Result(qn::kRefused);
  // Library texts are compared up to one character past the key's length.
  size_t keyLength = wcsnlen(key, kLibraryTextChars);
  if (keyLength >= kLibraryTextChars) return qn::Result(qn::kDoesNotFit);
  qn::Result answer = qn::Result::FromWin32(ERROR_NOT_FOUND);
  for (size_t i = 0; i < array.Count(); ++i) {
    ProductRecord& record = array.At(i);
    CheckedKeyArray keys(record);
    if (!keys.Present()) {
      size_t nameLength = LibraryTextLength(record.productName, keyLength + 1);
      if (SameText(record.productName, nameLength, key, keyLength)) {
        answer = AskLibraryToRemove(record, uninstallProduct);
      }
      continue;
    }
    if (!keys.Open()) continue;
    for (size_t k = 0; k < keys.Count(); ++k) {
      size_t candidateLength = 0;
      const wchar_t* candidate = keys.At(k, &candidateLength);
      if (SameText(candidate, candidateLength, key, keyLength)) answer = AskLibraryToRemove(record, uninstallProduct);
    }
  }
  return answer;
}

namespace {

const wchar_t kNativeUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kWowUninstallKey[] = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// At most 259 characters and the terminator.
constexpr DWORD kValueQueryBytes = 520;

}  // namespace

bool LookUpUninstallEntry(int view, const wchar_t* key, CompetingProduct* entry) {
  if (!key || !entry) return false;
  qn::FixedString<kCompetingTextChars> subkey;
  if (!subkey.Format(L"%s%s", view == 0 ? kNativeUninstallKey : kWowUninstallKey, key)) {
    WriteLog(L"[SETUP] Uninstall key too long to look up: %s", key);
    return false;
  }
  wchar_t value[kCompetingTextChars];
  if (!ReadUninstallValue(subkey, L"DisplayName", value)) return false;
  qn::CopyText(entry->displayName, kCompetingTextChars, value);
  if (!ReadUninstallValue(subkey, L"UninstallString", value)) return false;
  qn::CopyText(entry->uninstallString, kCompetingTextChars, value);
  return true;
}

qn::Result ReadUninstallValue(const wchar_t* subkey, const wchar_t* valueName, wchar_t* buffer) {
  if (!buffer) return qn::Result(qn::kRefused);
  buffer[0] = L'\0';
  if (!subkey || !valueName) return qn::Result(qn::kRefused);
  qn::ScopedRegKey key;
  LONG error = key.Open(HKEY_LOCAL_MACHINE, subkey, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
  if (error != ERROR_SUCCESS) {
    WriteLog(L"[SETUP] Cannot open regKey: %s (error %d)", subkey, static_cast<int>(error));
    return qn::Result::FromWin32(static_cast<DWORD>(error));
  }
  memset(buffer, 0, kCompetingTextChars * sizeof(wchar_t));
  DWORD type = REG_NONE;
  DWORD bytes = kValueQueryBytes;
  error = RegQueryValueExW(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  // A value stored without its terminator can fill all 260 characters: that is
  // one character more than the text may have.
  if (error == ERROR_SUCCESS && bytes >= kValueQueryBytes && buffer[kValueQueryBytes / sizeof(wchar_t) - 1]) {
    error = ERROR_MORE_DATA;
  }
  if (error != ERROR_SUCCESS) {
    memset(buffer, 0, kCompetingTextChars * sizeof(wchar_t));
    WriteLog(L"[SETUP] Cannot query value \"%s\" in key: %s (error %d)", valueName, subkey,
             static_cast<int>(error));
    return qn::Result::FromWin32(static_cast<DWORD>(error));
  }
  key.Reset();
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    memset(buffer, 0, kCompetingTextChars * sizeof(wchar_t));
    return qn::Result(qn::kRefused);
  }
  return qn::Result::Ok();
}
