#include "downloader/products/product_array.h"

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#include "downloader/services/diagnostic_log.h"

namespace {

// Features of arrays whose destruction frees or releases what the elements
// point at: SafeArrayDestroy would walk every element the array claims.
constexpr USHORT kOwningFeatures = FADF_RECORD | FADF_HAVEIID | FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;

bool ReadableProtection(DWORD protect) {
  if (protect & (PAGE_GUARD | PAGE_NOACCESS)) return false;
  return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                     PAGE_EXECUTE_WRITECOPY)) != 0;
}

// Whether memory the library points at is committed and readable. Remembers
// the last readable region, so that a million records whose names lie in one
// heap cost few queries.
class MemoryProbe {
 public:
  bool Readable(const void* start, size_t bytes) {
    if (bytes == 0) return true;
    uintptr_t at = reinterpret_cast<uintptr_t>(start);
    if (at == 0 || bytes - 1 > UINTPTR_MAX - at) return false;
    uintptr_t last = at + (bytes - 1);
    for (;;) {
      uintptr_t end = 0;
      if (!Region(at, &end)) return false;
      if (last < end) return true;
      at = end;
    }
  }

  // The text up to its first zero, or `limit` characters, lies in readable memory.
  bool TextReadable(const wchar_t* text, size_t limit) {
    if (!text) return true;
    if (reinterpret_cast<uintptr_t>(text) % sizeof(wchar_t) != 0) return false;
    while (limit > 0) {
      uintptr_t at = reinterpret_cast<uintptr_t>(text);
      uintptr_t end = 0;
      if (!Region(at, &end)) return false;
      // Regions start and end on page boundaries, so a character never straddles one.
      size_t chars = (end - at) / sizeof(wchar_t);
      if (chars > limit) chars = limit;
      size_t length = wcsnlen(text, chars);
      if (length < chars) return true;
      text += length;
      limit -= length;
    }
    return true;
  }

 private:
  // The end of the readable region that holds `at`.
  bool Region(uintptr_t at, uintptr_t* end) {
    if (at >= begin_ && at < end_) {
      *end = end_;
      return true;
    }
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof(info)) != sizeof(info)) return false;
    if (info.State != MEM_COMMIT || !ReadableProtection(info.Protect)) return false;
    uintptr_t base = reinterpret_cast<uintptr_t>(info.BaseAddress);
    if (info.RegionSize > UINTPTR_MAX - base || base + info.RegionSize <= at) return false;
    begin_ = base;
    end_ = base + info.RegionSize;
    *end = end_;
    return true;
  }

  uintptr_t begin_ = 0;
  uintptr_t end_ = 0;
};

// The descriptor with all its bounds, and the type stored before it when it
// says it has one, are readable.
bool DescriptorReadable(SAFEARRAY* array, MemoryProbe& memory) {
  if (!memory.Readable(array, sizeof(SAFEARRAY))) return false;
  if (array->cDims == 0) return false;
  size_t bytes = offsetof(SAFEARRAY, rgsabound) + array->cDims * sizeof(SAFEARRAYBOUND);
  if (!memory.Readable(array, bytes)) return false;
  return !(array->fFeatures & FADF_HAVEVARTYPE) ||
         memory.Readable(reinterpret_cast<const DWORD*>(array) - 1, sizeof(DWORD));
}

// The data of an array whose descriptor is readable: every element its bounds
// claim, in all dimensions, lies in readable memory. Only then may it be
// destroyed: destroying touches every element it claims (a static array's
// are cleared, others' are freed or released by kind).
bool DataReadable(SAFEARRAY* array, MemoryProbe& memory) {
  size_t bytes = array->cbElements;
  for (USHORT d = 0; d < array->cDims; ++d) {
    ULONG elements = array->rgsabound[d].cElements;
    if (elements != 0 && bytes > SIZE_MAX / elements) return false;
    bytes *= elements;
  }
  return bytes == 0 || (array->pvData && memory.Readable(array->pvData, bytes));
}

// The elements of a one-dimensional array whose data is readable: the count
// its bound claims, when every index fits a LONG.
bool IndexesFit(SAFEARRAY* array, size_t* count) {
  ULONG elements = array->rgsabound[0].cElements;
  *count = 0;
  if (elements != 0 && static_cast<LONGLONG>(array->rgsabound[0].lLbound) + elements - 1 > 0x7FFFFFFF) return false;
  *count = elements;
  return true;
}

enum KeyArrayKind { kKeysOfText, kKeysOfAnotherKind, kKeysUnsafe };

// What a key array that has passed DescriptorReadable holds. One of another
// kind owns nothing its elements point at: it is skipped, and destroying it
// frees its data only.
KeyArrayKind KindOf(SAFEARRAY* keys) {
  USHORT owning = keys->fFeatures & kOwningFeatures;
  if (owning == 0) return kKeysOfAnotherKind;
  if (owning != FADF_BSTR || keys->cDims != 1 || keys->cbElements != sizeof(BSTR)) return kKeysUnsafe;
  if ((keys->fFeatures & FADF_HAVEVARTYPE) && reinterpret_cast<const DWORD*>(keys)[-1] != VT_BSTR)
    return kKeysUnsafe;
  return kKeysOfText;
}

// BSTRs: the length before each, and its text as far as it is ever read.
bool KeysReadable(const BSTR* keys, size_t count, MemoryProbe& memory) {
  for (size_t i = 0; i < count; ++i) {
    BSTR key = keys[i];
    if (!key) continue;
    if (!memory.Readable(reinterpret_cast<const DWORD*>(key) - 1, sizeof(DWORD))) return false;
    size_t limit = SysStringLen(key);
    if (!memory.TextReadable(key, limit < kLibraryTextChars ? limit : kLibraryTextChars)) return false;
  }
  return true;
}

// A record's key array can be read or destroyed without trusting it. It is
// left accessed (locked) on success, so that the same array in a second
// record shows as locked there: destroying it twice would free it twice.
bool KeyArrayUsable(SAFEARRAY* keys, MemoryProbe& memory) {
  if (!DescriptorReadable(keys, memory) || keys->cLocks != 0) return false;
  KeyArrayKind kind = KindOf(keys);
  if (kind == kKeysUnsafe || !DataReadable(keys, memory)) return false;
  size_t count = 0;
  if (kind == kKeysOfText &&
      (!IndexesFit(keys, &count) || !KeysReadable(static_cast<const BSTR*>(keys->pvData), count, memory))) {
    return false;
  }
  void* data = nullptr;
  return SUCCEEDED(SafeArrayAccessData(keys, &data));
}

}  // namespace

CheckedProductArray::CheckedProductArray(SAFEARRAY* products) : array_(products) {}

qn::Result CheckedProductArray::Open() {
  if (!array_) return qn::Result(qn::kRefused);
  MemoryProbe memory;
  if (!DescriptorReadable(array_, memory)) {
    WriteLog(L"[SETUP] Removal library products ignored: the array is not readable memory");
    return qn::Result(qn::kRefused);
  }
  USHORT owning = array_->fFeatures & kOwningFeatures;
  bool honest = DataReadable(array_, memory);
  destroyable_ = owning == 0 && honest;
  UINT dims = array_->cDims;
  UINT elementBytes = array_->cbElements;
  if (dims != 1 || elementBytes != kProductRecordBytes) {
    WriteLog(L"[SETUP] Removal library products ignored: %u dimension(s) of %u-byte elements", dims,
             elementBytes);
    return qn::Result(qn::kRefused);
  }
  if (owning) {
    WriteLog(L"[SETUP] Removal library products ignored: elements that own what they point at (features 0x%04x)",
             static_cast<unsigned>(array_->fFeatures));
    return qn::Result(qn::kRefused);
  }
  size_t count = 0;
  if (!honest || !IndexesFit(array_, &count)) {
    WriteLog(L"[SETUP] Removal library products ignored: %lu records from index %ld are not all in readable memory",
             static_cast<unsigned long>(array_->rgsabound[0].cElements),
             static_cast<long>(array_->rgsabound[0].lLbound));
    return qn::Result(qn::kRefused);
  }
  void* data = nullptr;
  HRESULT hr = SafeArrayAccessData(array_, &data);
  if (FAILED(hr)) {
    WriteLog(L"SafeArrayAccessData failed: %d", static_cast<int>(hr));
    return qn::Result(hr);
  }
  records_ = static_cast<ProductRecord*>(data);
  count_ = data ? count : 0;
  if (RecordsReadable()) return qn::Result::Ok();
  SafeArrayUnaccessData(array_);
  records_ = nullptr;
  count_ = 0;
  return qn::Result(qn::kRefused);
}

bool CheckedProductArray::RecordsReadable() {
  MemoryProbe memory;
  size_t checked = 0;
  bool readable = true;
  for (; checked < count_; ++checked) {
    const ProductRecord& record = records_[checked];
    if (!memory.TextReadable(record.productName, kLibraryTextChars)) {
      WriteLog(L"[SETUP] Removal library answer refused: the name of record %lu is not readable memory",
               static_cast<unsigned long>(checked));
      readable = false;
      break;
    }
    if (record.productKeys && !KeyArrayUsable(record.productKeys, memory)) {
      WriteLog(L"[SETUP] Removal library answer refused: the key array of record %lu cannot be read safely",
               static_cast<unsigned long>(checked));
      readable = false;
      break;
    }
  }
  // Unlocked again: the records' key arrays are opened one by one from here on.
  for (size_t i = 0; i < checked; ++i) {
    if (records_[i].productKeys) SafeArrayUnaccessData(records_[i].productKeys);
  }
  return readable;
}

CheckedProductArray::~CheckedProductArray() {
  if (!array_) return;
  if (records_) {
    // Key arrays of records nobody got to are still ours to destroy.
    for (size_t i = 0; i < count_; ++i) {
      CheckedKeyArray leftover(records_[i]);
    }
    SafeArrayUnaccessData(array_);
  }
  // An unread answer's key arrays are left as they are.
  if (destroyable_) SafeArrayDestroy(array_);
}

CheckedKeyArray::CheckedKeyArray(ProductRecord& record) : record_(record) {}

qn::Result CheckedKeyArray::Open() {
  SAFEARRAY* array = record_.productKeys;
  if (!array) return qn::Result(qn::kRefused);
  if (KindOf(array) != kKeysOfText) {
    VARTYPE type = VT_EMPTY;
    HRESULT typeResult = SafeArrayGetVartype(array, &type);
    WriteLog(L"[SETUP] Removal library keys ignored: type %d, %u dimension(s) of %u-byte elements",
             SUCCEEDED(typeResult) ? static_cast<int>(type) : -1, static_cast<unsigned>(array->cDims),
             static_cast<unsigned>(array->cbElements));
    return qn::Result(qn::kRefused);
  }
  void* data = nullptr;
  HRESULT hr = SafeArrayAccessData(array, &data);
  if (FAILED(hr)) {
    WriteLog(L"SafeArrayAccessData failed: %d", static_cast<int>(hr));
    return qn::Result(hr);
  }
  keys_ = static_cast<BSTR*>(data);
  count_ = data ? array->rgsabound[0].cElements : 0;
  return qn::Result::Ok();
}

const wchar_t* CheckedKeyArray::At(size_t index, size_t* length) const {
  *length = 0;
  if (index >= count_ || !keys_[index]) return nullptr;
  BSTR key = keys_[index];
  *length = LibraryTextLength(key, SysStringLen(key));
  return key;
}

CheckedKeyArray::~CheckedKeyArray() {
  SAFEARRAY* array = record_.productKeys;
  if (!array) return;
  if (keys_) SafeArrayUnaccessData(array);
  SafeArrayDestroy(array);
  record_.productKeys = nullptr;
}

size_t LibraryTextLength(const wchar_t* text, size_t limit) {
  return text ? wcsnlen(text, limit < kLibraryTextChars ? limit : kLibraryTextChars) : 0;
}
