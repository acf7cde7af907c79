// Small owners for platform resources, so that every acquisition is released in
// the scope that made it.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <objbase.h>

namespace qn {

// A kernel handle (process, thread, event, file, snapshot). Both NULL and
// INVALID_HANDLE_VALUE count as "none".
class ScopedHandle {
 public:
  ScopedHandle() : h_(NULL) {}
  explicit ScopedHandle(HANDLE h) : h_(h) {}
  ~ScopedHandle() { Close(); }
  bool Valid() const { return h_ != NULL && h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }
  void Reset(HANDLE h = NULL) {
    Close();
    h_ = h;
  }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = NULL;
    return h;
  }
  void Close() {
    if (Valid()) CloseHandle(h_);
    h_ = NULL;
  }

 private:
  ScopedHandle(const ScopedHandle&);
  ScopedHandle& operator=(const ScopedHandle&);
  HANDLE h_;
};

class ScopedFindHandle {
 public:
  explicit ScopedFindHandle(HANDLE h) : h_(h) {}
  ~ScopedFindHandle() {
    if (h_ != INVALID_HANDLE_VALUE && h_ != NULL) FindClose(h_);
  }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != NULL; }
  HANDLE Get() const { return h_; }

 private:
  ScopedFindHandle(const ScopedFindHandle&);
  ScopedFindHandle& operator=(const ScopedFindHandle&);
  HANDLE h_;
};

class ScopedRegKey {
 public:
  ScopedRegKey() : k_(NULL) {}
  ~ScopedRegKey() { Close(); }
  LONG Open(HKEY root, const wchar_t* subkey, REGSAM access) {
    Close();
    return RegOpenKeyExW(root, subkey, 0, access, &k_);
  }
  LONG Create(HKEY root, const wchar_t* subkey, REGSAM access) {
    Close();
    return RegCreateKeyExW(root, subkey, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &k_, NULL);
  }
  HKEY Get() const { return k_; }
  void Close() {
    if (k_) RegCloseKey(k_);
    k_ = NULL;
  }

 private:
  ScopedRegKey(const ScopedRegKey&);
  ScopedRegKey& operator=(const ScopedRegKey&);
  HKEY k_;
};

class ScopedLibrary {
 public:
  explicit ScopedLibrary(HMODULE m = NULL) : m_(m) {}
  ~ScopedLibrary() {
    if (m_) FreeLibrary(m_);
  }
  HMODULE Get() const { return m_; }
  HMODULE Release() {
    HMODULE m = m_;
    m_ = NULL;
    return m;
  }

 private:
  ScopedLibrary(const ScopedLibrary&);
  ScopedLibrary& operator=(const ScopedLibrary&);
  HMODULE m_;
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

class ScopedBstr {
 public:
  ScopedBstr() : b_(NULL) {}
  explicit ScopedBstr(const wchar_t* text) : b_(text ? SysAllocString(text) : NULL) {}
  ~ScopedBstr() { Reset(); }
  BSTR Get() const { return b_; }
  BSTR* Receive() {
    Reset();
    return &b_;
  }
  void Reset() {
    if (b_) SysFreeString(b_);
    b_ = NULL;
  }
  // Characters held (a BSTR may carry embedded zeros; callers treat it as text).
  UINT Length() const { return b_ ? SysStringLen(b_) : 0; }
  const wchar_t* Text() const { return b_ ? b_ : L""; }

 private:
  ScopedBstr(const ScopedBstr&);
  ScopedBstr& operator=(const ScopedBstr&);
  BSTR b_;
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
