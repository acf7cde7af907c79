// What the removal library hands over and what it is called with: a binary
// contract between kitfetcher and wipekit.dll (five 32-bit words per record),
// so it belongs to neither side and both include it.
#pragma once
#include <windows.h>
#include <oleauto.h>

struct ProductRecord {
  const wchar_t* productName;  // the library's name of the product; may be null
  DWORD reserved1;             // not read
  DWORD reserved2;             // not read
  SAFEARRAY* productKeys;      // one-dimensional array of BSTR keys, or null
  DWORD selected;              // 1 marks the record handed to UninstallProduct
};

#ifndef _WIN64
static_assert(sizeof(ProductRecord) == 20, "the removal library's records are 20 bytes");
#endif
// 20 bytes in the shipped 32-bit programs. The x86-64 test build pairs its
// kitfetcher with an x86-64 library, whose records hold 64-bit pointers.
const UINT kProductRecordBytes = sizeof(ProductRecord);

// The selector of GetInstalledProducts that asks for the products installed now.
const int kInstalledProductsMode = 2;

// The library's exports (undecorated __stdcall names).
typedef HRESULT(__stdcall* GetProductsFn)(SAFEARRAY** products);
typedef HRESULT(__stdcall* GetInstalledProductsFn)(SAFEARRAY** products, int mode);
typedef HRESULT(__stdcall* UninstallProductsFn)(SAFEARRAY* products);
typedef HRESULT(__stdcall* UninstallForceAllFn)();
typedef HRESULT(__stdcall* UninstallAllInstalledFn)();
typedef unsigned char(__stdcall* UninstallProductFn)(ProductRecord* product, unsigned char* flag,
                                                     int reserved);
