// Owners for platform resources, so that every acquisition is released in the
// scope that made it. One template over a close function serves every kind of
// handle; COM pointers, variants, COM itself and critical sections, which are
// released otherwise, have small owners of their own below.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <objbase.h>
#include <stdio.h>

#include "common/result.h"

namespace qn {

template <typename T>
bool IsSet(T value) {
  return value != T();
}

// Owns one resource and hands it to Close when the scope ends or on Reset.
// Held tells a resource from "none"; Close never sees "none".
template <typename T, void (*Close)(T), bool (*Held)(T) = &IsSet<T>>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T value) : value_(value) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { Reset(); }

  bool Valid() const { return Held(value_); }
  T Get() const { return value_; }
  void Reset(T value = T()) {
    if (Held(value_)) Close(value_);
    value_ = value;
  }
  [[nodiscard]] T Release() {
    T value = value_;
    value_ = T();
    return value;
  }
  // For functions that hand a new resource back through a pointer.
  T* Receive() {
    Reset();
    return &value_;
  }

 private:
  T value_ = T();
};

// Kernel handles (process, thread, event, file, snapshot) and directory
// searches: both null and INVALID_HANDLE_VALUE mean none.
inline bool IsKernelHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline void CloseFind(HANDLE h) { FindClose(h); }
inline void CloseRegKey(HKEY key) { RegCloseKey(key); }
inline void FreeLoadedLibrary(HMODULE module) { FreeLibrary(module); }
inline void DeleteGdiBrush(HBRUSH brush) { DeleteObject(brush); }
inline void CloseStream(FILE* file) { fclose(file); }
inline void FreeBstr(BSTR text) { SysFreeString(text); }

using ScopedHandle = Owned<HANDLE, CloseKernelHandle, IsKernelHandle>;
using ScopedFindHandle = Owned<HANDLE, CloseFind, IsKernelHandle>;
using ScopedLibrary = Owned<HMODULE, FreeLoadedLibrary>;
using ScopedBrush = Owned<HBRUSH, DeleteGdiBrush>;
using ScopedStream = Owned<FILE*, CloseStream>;

class ScopedRegKey : public Owned<HKEY, CloseRegKey> {
 public:
  [[nodiscard]] LONG Open(HKEY root, const wchar_t* subkey, REGSAM access) {
    return RegOpenKeyExW(root, subkey, 0, access, Receive());
  }
  [[nodiscard]] LONG Create(HKEY root, const wchar_t* subkey, REGSAM access) {
    return RegCreateKeyExW(root, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, Receive(), nullptr);
  }
};

class ScopedBstr : public Owned<BSTR, FreeBstr> {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t* text) : Owned<BSTR, FreeBstr>(text ? SysAllocString(text) : nullptr) {}
  // Characters held (a BSTR may carry embedded zeros; callers treat it as text).
  UINT Length() const { return Get() ? SysStringLen(Get()) : 0; }
  const wchar_t* Text() const { return Get() ? Get() : L""; }
};

// COM initialised for the lifetime of the object on the calling thread.
class ScopedCoInit {
 public:
  ScopedCoInit() : hr_(CoInitialize(nullptr)) {}
  ScopedCoInit(const ScopedCoInit&) = delete;
  ScopedCoInit& operator=(const ScopedCoInit&) = delete;
  ~ScopedCoInit() {
    // Every CoInitialize, S_FALSE included, is balanced; a failed one is not.
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

// A COM interface pointer released when the owner goes out of scope.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { Reset(); }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T** Receive() {
    Reset();
    return &p_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  void Reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  bool IsNull() const { return p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&v_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  explicit ScopedVariant(const wchar_t* text) {
    VariantInit(&v_);
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocString(text ? text : L"");
  }
  ~ScopedVariant() { VariantClear(&v_); }
  VARIANT& Get() { return v_; }

 private:
  VARIANT v_;
};

class ScopedCriticalSectionLock {
 public:
  // A null section locks nothing: for data nobody else can reach yet.
  explicit ScopedCriticalSectionLock(CRITICAL_SECTION* cs) : cs_(cs) {
    if (cs_) EnterCriticalSection(cs_);
  }
  ScopedCriticalSectionLock(const ScopedCriticalSectionLock&) = delete;
  ScopedCriticalSectionLock& operator=(const ScopedCriticalSectionLock&) = delete;
  ~ScopedCriticalSectionLock() {
    if (cs_) LeaveCriticalSection(cs_);
  }

 private:
  CRITICAL_SECTION* cs_;
};

}  // namespace qn

// Starting a program with its process and thread handles owned from the start.
namespace qn {

struct StartedProcess {
  ScopedHandle process;
  ScopedHandle thread;
  DWORD id = 0;
};

// CreateProcessW without handle inheritance, creation flags or an environment
// of its own; the cause (CreateProcessW's last error) when the program could
// not start.
inline Result StartProcess(const wchar_t* application, wchar_t* commandLine, const wchar_t* workingFolder,
                           StartedProcess* started) {
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof(process));
  Result result =
      CreateProcessW(application, commandLine, nullptr, nullptr, FALSE, 0, nullptr, workingFolder, &startup, &process)
          ? Result::Ok()
          : Result::LastError();
  started->process.Reset(process.hProcess);
  started->thread.Reset(process.hThread);
  started->id = process.dwProcessId;
  return result;
}

}  // namespace qn
