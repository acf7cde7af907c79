// Owners for platform resources, so that every acquisition is released in the
// scope that made it. One template over a close function serves every kind of
// handle; COM pointers, variants, COM itself and critical sections, which are
// released otherwise, have small owners of their own below.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <objbase.h>
#include <stdio.h>

namespace qn {

template <typename T>
bool IsSet(T value) {
  return value != T();
}

// Owns one resource and hands it to Close when the scope ends or on Reset.
// Held tells a resource from "none"; Close never sees "none".
template <typename T, void (*Close)(T), bool (*Held)(T) = &IsSet<T> >
class Owned {
 public:
  Owned() : value_(T()) {}
  explicit Owned(T value) : value_(value) {}
  ~Owned() { Reset(); }

  bool Valid() const { return Held(value_); }
  T Get() const { return value_; }
  void Reset(T value = T()) {
    if (Held(value_)) Close(value_);
    value_ = value;
  }
  T Release() {
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
  Owned(const Owned&);
  Owned& operator=(const Owned&);
  T value_;
};

// Kernel handles (process, thread, event, file, snapshot) and directory
// searches: both NULL and INVALID_HANDLE_VALUE mean none.
inline bool IsKernelHandle(HANDLE h) { return h != NULL && h != INVALID_HANDLE_VALUE; }
inline void CloseKernelHandle(HANDLE h) { CloseHandle(h); }
inline void CloseFind(HANDLE h) { FindClose(h); }
inline void CloseRegKey(HKEY key) { RegCloseKey(key); }
inline void FreeLoadedLibrary(HMODULE module) { FreeLibrary(module); }
inline void DeleteGdiBrush(HBRUSH brush) { DeleteObject(brush); }
inline void CloseStream(FILE* file) { fclose(file); }
inline void FreeBstr(BSTR text) { SysFreeString(text); }

typedef Owned<HANDLE, CloseKernelHandle, IsKernelHandle> ScopedHandle;
typedef Owned<HANDLE, CloseFind, IsKernelHandle> ScopedFindHandle;
typedef Owned<HMODULE, FreeLoadedLibrary> ScopedLibrary;
typedef Owned<HBRUSH, DeleteGdiBrush> ScopedBrush;
typedef Owned<FILE*, CloseStream> ScopedStream;

class ScopedRegKey : public Owned<HKEY, CloseRegKey> {
 public:
  LONG Open(HKEY root, const wchar_t* subkey, REGSAM access) {
    return RegOpenKeyExW(root, subkey, 0, access, Receive());
  }
  LONG Create(HKEY root, const wchar_t* subkey, REGSAM access) {
    return RegCreateKeyExW(root, subkey, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, Receive(), NULL);
  }
};

class ScopedBstr : public Owned<BSTR, FreeBstr> {
 public:
  ScopedBstr() {}
  explicit ScopedBstr(const wchar_t* text) : Owned<BSTR, FreeBstr>(text ? SysAllocString(text) : NULL) {}
  // Characters held (a BSTR may carry embedded zeros; callers treat it as text).
  UINT Length() const { return Get() ? SysStringLen(Get()) : 0; }
  const wchar_t* Text() const { return Get() ? Get() : L""; }
};

// COM initialised for the lifetime of the object on the calling thread.
class ScopedCoInit {
 public:
  ScopedCoInit() : hr_(CoInitialize(NULL)) {}
  ~ScopedCoInit() {
    // Every CoInitialize, S_FALSE included, is balanced; a failed one is not.
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  HRESULT Result() const { return hr_; }

 private:
  ScopedCoInit(const ScopedCoInit&);
  ScopedCoInit& operator=(const ScopedCoInit&);
  HRESULT hr_;
};

// A COM interface pointer released when the owner goes out of scope.
template <class T>
class ComPtr {
 public:
  ComPtr() : p_(NULL) {}
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
    p_ = NULL;
  }
  bool IsNull() const { return p_ == NULL; }

 private:
  ComPtr(const ComPtr&);
  ComPtr& operator=(const ComPtr&);
  T* p_;
};

class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&v_); }
  explicit ScopedVariant(const wchar_t* text) {
    VariantInit(&v_);
    v_.vt = VT_BSTR;
    v_.bstrVal = SysAllocString(text ? text : L"");
  }
  ~ScopedVariant() { VariantClear(&v_); }
  VARIANT& Get() { return v_; }

 private:
  ScopedVariant(const ScopedVariant&);
  ScopedVariant& operator=(const ScopedVariant&);
  VARIANT v_;
};

class ScopedCriticalSectionLock {
 public:
  // A null section locks nothing: for data nobody else can reach yet.
  explicit ScopedCriticalSectionLock(CRITICAL_SECTION* cs) : cs_(cs) {
    if (cs_) EnterCriticalSection(cs_);
  }
  ~ScopedCriticalSectionLock() {
    if (cs_) LeaveCriticalSection(cs_);
  }

 private:
  ScopedCriticalSectionLock(const ScopedCriticalSectionLock&);
  ScopedCriticalSectionLock& operator=(const ScopedCriticalSectionLock&);
  CRITICAL_SECTION* cs_;
};

}  // namespace qn

// Starting a program with its process and thread handles owned from the start.
namespace qn {

struct StartedProcess {
  StartedProcess() : id(0) {}
  ScopedHandle process;
  ScopedHandle thread;
  DWORD id;
};

// CreateProcessW without handle inheritance, creation flags or an environment
// of its own; false (last error set) when the program could not start.
inline bool StartProcess(const wchar_t* application, wchar_t* commandLine, const wchar_t* workingFolder,
                         StartedProcess* started) {
  STARTUPINFOW startup;
  ZeroMemory(&startup, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  ZeroMemory(&process, sizeof(process));
  BOOL ok = CreateProcessW(application, commandLine, NULL, NULL, FALSE, 0, NULL, workingFolder, &startup, &process);
  DWORD error = GetLastError();
  started->process.Reset(process.hProcess);
  started->thread.Reset(process.hThread);
  started->id = process.dwProcessId;
  SetLastError(error);
  return ok != FALSE;
}

}  // namespace qn
