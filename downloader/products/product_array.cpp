#include "downloader/products/product_array.h"

#include <wchar.h>

#include "downloader/services/diagnostic_log.h"

namespace {

// Elements of a one-dimensional array, from its bounds; 0 when they are inverted.
size_t ElementCount(SAFEARRAY* array) {
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper))) return 0;
  if (upper < lower) return 0;
  return static_cast<size_t>(static_cast<LONGLONG>(upper) - lower + 1);
}

}  // namespace

CheckedProductArray::CheckedProductArray(SAFEARRAY* products) : array_(products), records_(NULL), count_(0) {}

bool CheckedProductArray::Open() {
  if (!array_) return false;
  UINT dims = SafeArrayGetDim(array_);
  UINT elementBytes = SafeArrayGetElemsize(array_);
  if (dims != 1 || elementBytes != kProductRecordBytes) {
    WriteLog(L"[SETUP] Removal library products ignored: %u dimension(s) of %u-byte elements", dims,
             elementBytes);
    return false;
  }
  void* data = NULL;
  HRESULT hr = SafeArrayAccessData(array_, &data);
  if (FAILED(hr)) {
    WriteLog(L"SafeArrayAccessData failed: %d", static_cast<int>(hr));
    return false;
  }
  records_ = static_cast<ProductRecord*>(data);
  count_ = data ? ElementCount(array_) : 0;
  return true;
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
  SafeArrayDestroy(array_);
}

CheckedKeyArray::CheckedKeyArray(ProductRecord& record) : record_(record), keys_(NULL), count_(0) {}

bool CheckedKeyArray::Open() {
  SAFEARRAY* array = record_.productKeys;
  if (!array) return false;
  VARTYPE type = VT_EMPTY;
  HRESULT typeResult = SafeArrayGetVartype(array, &type);
  UINT dims = SafeArrayGetDim(array);
  UINT elementBytes = SafeArrayGetElemsize(array);
  if (FAILED(typeResult) || type != VT_BSTR || dims != 1 || elementBytes != sizeof(BSTR)) {
    WriteLog(L"[SETUP] Removal library keys ignored: type %d, %u dimension(s) of %u-byte elements",
             SUCCEEDED(typeResult) ? static_cast<int>(type) : -1, dims, elementBytes);
    return false;
  }
  void* data = NULL;
  HRESULT hr = SafeArrayAccessData(array, &data);
  if (FAILED(hr)) {
    WriteLog(L"SafeArrayAccessData failed: %d", static_cast<int>(hr));
    return false;
  }
  keys_ = static_cast<BSTR*>(data);
  count_ = data ? ElementCount(array) : 0;
  return true;
}

const wchar_t* CheckedKeyArray::At(size_t index, size_t* length) const {
  *length = 0;
  if (index >= count_ || !keys_[index]) return NULL;
  BSTR key = keys_[index];
  *length = LibraryTextLength(key, SysStringLen(key));
  return key;
}

CheckedKeyArray::~CheckedKeyArray() {
  SAFEARRAY* array = record_.productKeys;
  if (!array) return;
  if (keys_) SafeArrayUnaccessData(array);
  SafeArrayDestroy(array);
  record_.productKeys = NULL;
}

size_t LibraryTextLength(const wchar_t* text, size_t limit) { return text ? wcsnlen(text, limit) : 0; }
