#include "common/file_bytes.h"

#include <new>

#include "common/scoped_handles.h"

namespace qn {

Result FileBytes::Read(const wchar_t* path, size_t maxBytes, Sharing sharing) {
  delete[] data_;
  data_ = nullptr;
  length_ = 0;
  DWORD share = sharing == kOthersMayRead ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  ScopedHandle file(CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size;
  if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return Result::LastError();
  if (size.QuadPart < 0 || static_cast<ULONGLONG>(size.QuadPart) > maxBytes) return Result(kDoesNotFit);
  DWORD wanted = static_cast<DWORD>(size.QuadPart);
  // One byte more than the size is room to notice a file that grew meanwhile.
  data_ = new (std::nothrow) BYTE[wanted + 1];
  if (!data_) return Result(kNoMemory);
  DWORD asked = sharing == kOthersMayRead ? wanted + 1 : wanted;
  DWORD got = 0;
  while (got < asked) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), data_ + got, asked - got, &read, nullptr)) return Result::LastError();
    if (read == 0) break;
    got += read;
  }
  if (sharing == kOthersMayRead && got != wanted) return Result(kDoesNotFit);
  length_ = got;
  return Result::Ok();
}

}  // namespace qn
