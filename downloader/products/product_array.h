// The removal library's answers read without trusting them: the product array
// and each record's key array are checked for shape before anything is read,
// only elements inside their bounds are read, and texts are measured with a
// limit, never by running into memory past it.
#pragma once
#include <stddef.h>
#include <windows.h>
#include <oleauto.h>

#include "contracts/removal_library.h"

// The library's product array, owned from construction on: at the end every
// key array still held by a record is destroyed, then the array itself.
class CheckedProductArray {
 public:
  explicit CheckedProductArray(SAFEARRAY* products);
  ~CheckedProductArray();

  // Checks the shape (one dimension, 20-byte elements) and gains access to the
  // records. False, logged, when the array cannot be read.
  bool Open();
  size_t Count() const { return count_; }
  ProductRecord& At(size_t index) { return records_[index]; }

 private:
  CheckedProductArray(const CheckedProductArray&);
  CheckedProductArray& operator=(const CheckedProductArray&);

  SAFEARRAY* array_;
  ProductRecord* records_;
  size_t count_;
};

// One record's keys. At the end the key array is destroyed and the record's
// pointer cleared, whether or not it could be read.
class CheckedKeyArray {
 public:
  explicit CheckedKeyArray(ProductRecord& record);
  ~CheckedKeyArray();

  // The record has a key array at all.
  bool Present() const { return record_.productKeys != NULL; }
  // Checks the shape (one dimension of BSTR) and gains access to the keys.
  // False, logged, when the array cannot be read.
  bool Open();
  size_t Count() const { return count_; }
  // The key text at index (up to its first zero character) and its length;
  // null for a null key.
  const wchar_t* At(size_t index, size_t* length) const;

 private:
  CheckedKeyArray(const CheckedKeyArray&);
  CheckedKeyArray& operator=(const CheckedKeyArray&);

  ProductRecord& record_;
  BSTR* keys_;
  size_t count_;
};

// Length of a text from the library, looked at up to `limit` characters: the
// answer is `limit` for a text that long or longer, 0 for a null text.
size_t LibraryTextLength(const wchar_t* text, size_t limit);
