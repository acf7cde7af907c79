// What locations.xml says about the kit.
#pragma once
#include <windows.h>

#include "common/growable_array.h"
#include "common/owned_text.h"
#include "downloader/services/kit_crypto.h"

struct DownloadableFile {
  qn::OwnedText name;          // never absent once read
  qn::OwnedText relativePath;  // absent when the attribute was empty
  qn::OwnedText baseUrl;       // the file's own URL template, or absent
  qn::OwnedText md5Name;       // name + ".md5"
  bool autorun = false;
};
using DownloadableFileList = qn::Array<DownloadableFile>;

struct XmlPatch {
  XmlPatch() = default;
  XmlPatch(const wchar_t* p, const wchar_t* v, bool create) : path(p), newValue(v), createIfMissing(create) {}
  qn::OwnedText path;
  qn::OwnedText newValue;
  bool createIfMissing = false;
};
using XmlPatchList = qn::Array<XmlPatch>;

// The vendor's keys, pinned by the package's own locations.xml. Once pinned,
// nothing is placed or run that a manifest signed with one of them does not
// vouch for; a trust element that cannot be read pins trust with no key, so
// that no kit is taken at all.
struct KitTrust {
  bool pinned = false;
  PublicKeyBlob keys[2];
  size_t keyCount = 0;
  uint32_t minSerial = 0;
  // The SHA-256 of the package's wipekit.dll; without it a pinned package
  // never loads the library.
  bool hasLibraryHash = false;
  BYTE libraryHash[kSha256Bytes];
};

constexpr size_t kNameChars = 100;

struct LocationsConfig {
  qn::OwnedText baseUrl;
  wchar_t manufacturerName[kNameChars] = {};
  wchar_t defaultProductName[kNameChars] = {};
  wchar_t language[kNameChars] = {};
  bool showNewFilesPrompt = true;
  bool defaultNewFilesAnswer = true;
  DownloadableFileList downloadableFiles;
  XmlPatchList xmlPatches;
  int cpuFreqMHz = 800;
  int hddMBytes = 800;
  int ramMBytes = 1000;
  KitTrust trust;
};
