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
constexpr UINT kProductRecordBytes = sizeof(ProductRecord);

// The selector of GetInstalledProducts that asks for the products installed now.
constexpr int kInstalledProductsMode = 2;

// The library's exports (undecorated __stdcall names).
using GetProductsFn = HRESULT(__stdcall*)(SAFEARRAY** products);
using GetInstalledProductsFn = HRESULT(__stdcall*)(SAFEARRAY** products, int mode);
using UninstallProductsFn = HRESULT(__stdcall*)(SAFEARRAY* products);
using UninstallForceAllFn = HRESULT(__stdcall*)();
using UninstallAllInstalledFn = HRESULT(__stdcall*)();
using UninstallProductFn = unsigned char(__stdcall*)(ProductRecord* product, unsigned char* flag, int reserved);
