// A small file read whole into memory the object owns, so that every check
// and every parser sees the very bytes that were read, never the file again.
//
// Threading: an object belongs to one thread.
#pragma once
#include <stddef.h>
#include <windows.h>

#include "common/result.h"

namespace qn {

class FileBytes {
 public:
  // What others may do to the file while it is read, and what a change of its
  // size during the read means.
  enum Sharing {
    kOthersMayRead,    // writers are shut out; a size that changes anyway fails the read
    kOthersMayChange,  // nobody is shut out; a file that shrinks is taken as far as it goes
  };

  FileBytes() = default;
  ~FileBytes() { delete[] data_; }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // Replaces what the object held. Fails with the open's or the read's error,
  // kNoMemory, or kDoesNotFit for a file of more than maxBytes (and, with
  // kOthersMayRead, for one whose size changed during the read).
  Result Read(const wchar_t* path, size_t maxBytes, Sharing sharing);
  const BYTE* Data() const { return data_; }
  size_t Length() const { return length_; }

 private:
  BYTE* data_ = nullptr;
  size_t length_ = 0;
};

}  // namespace qn
