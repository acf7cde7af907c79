// The removal library's answers read without trusting them. Before any record
// is read, the product array, every record's name and every key array with its
// keys are checked against the memory they claim: a count, a bound or a
// pointer that lies makes the whole answer unreadable, so that no record of it
// is read past its end and nothing it points at is freed. Texts are measured
// with a limit, never by running into memory past it.
#pragma once
#include <stddef.h>
#include <windows.h>
#include <oleauto.h>

#include "common/result.h"
#include "contracts/removal_library.h"

// Library texts (names and keys) are looked at up to this many characters;
// every use of them takes fewer.
constexpr size_t kLibraryTextChars = 1024;

// The library's product array, owned from construction on: at the end every
// key array still held by a record is destroyed, then the array itself, as far
// as each is what it claims to be (an array that lies is left alone: destroying
// it would free or release what it points at).
class CheckedProductArray {
 public:
  explicit CheckedProductArray(SAFEARRAY* products);
  ~CheckedProductArray();
  CheckedProductArray(const CheckedProductArray&) = delete;
  CheckedProductArray& operator=(const CheckedProductArray&) = delete;

  // Checks the array (one dimension of records, no elements that own what
  // they point at, its count within readable memory), then every record's
  // name and key array, and gains access to the records. kRefused, logged,
  // when there is no answer or it cannot be read safely; SafeArrayAccessData's
  // own failure as it came.
  qn::Result Open();
  size_t Count() const { return count_; }
  ProductRecord& At(size_t index) { return records_[index]; }

 private:
  bool RecordsReadable();

  SAFEARRAY* array_;
  ProductRecord* records_ = nullptr;
  size_t count_ = 0;
  bool destroyable_ = false;
};

// One record's keys, for records of an opened CheckedProductArray (their key
// arrays have been checked). At the end the key array is destroyed and the
// record's pointer cleared, whether or not it could be read.
class CheckedKeyArray {
 public:
  explicit CheckedKeyArray(ProductRecord& record);
  ~CheckedKeyArray();
  CheckedKeyArray(const CheckedKeyArray&) = delete;
  CheckedKeyArray& operator=(const CheckedKeyArray&) = delete;

  // The record has a key array at all.
  bool Present() const { return record_.productKeys != nullptr; }
  // Checks the shape (one dimension of BSTR) and gains access to the keys.
  // kRefused, logged, when the array is absent or holds something else;
  // SafeArrayAccessData's own failure as it came.
  qn::Result Open();
  size_t Count() const { return count_; }
  // The key text at index (up to its first zero character, at most
  // kLibraryTextChars) and its length; null for a null key.
  const wchar_t* At(size_t index, size_t* length) const;

 private:
  ProductRecord& record_;
  BSTR* keys_ = nullptr;
  size_t count_ = 0;
};

// Length of a text of an opened answer, looked at up to `limit` characters
// (at most kLibraryTextChars): the answer is `limit` for a text that long or
// longer, 0 for a null text.
[[nodiscard]] size_t LibraryTextLength(const wchar_t* text, size_t limit);
