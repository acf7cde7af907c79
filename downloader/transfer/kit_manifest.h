// The signed list of a kit's files (kitmanifest.txt and its detached signature
// kitmanifest.sig, as kitpack writes them): what a pinned package lets in.
//
// Threading: the worker's; a manifest is read and used on the worker thread.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <windows.h>

#include "common/file_bytes.h"
#include "common/result.h"
#include "downloader/services/kit_crypto.h"
#include "downloader/services/locations_config.h"

extern const wchar_t kManifestFile[];
extern const wchar_t kManifestSignatureFile[];
// A manifest never needs more; a larger file is refused before it is read.
constexpr size_t kMaxManifestBytes = 1 << 20;

// What a manifest says of one kit file (sizes of 4 GiB and more are refused).
struct ManifestLine {
  ULONGLONG size;
  BYTE sha256[kSha256Bytes];
};

// The manifest looks files up in its text: checked once, whole, when it is
// taken, the text needs no copy of every line. The text stays the caller's
// and must outlive the manifest's use.
class KitManifest {
 public:
  KitManifest() = default;
  KitManifest(const KitManifest&) = delete;
  KitManifest& operator=(const KitManifest&) = delete;

  // Takes the manifest when its signature verifies under one of the trust's
  // keys, its format is the one kitpack writes, its serial reaches the
  // trust's minimum and it names `productCode`. Logs why not otherwise
  // (`where` names the manifest in the log).
  qn::Result Accept(const BYTE* text, size_t textLength, const BYTE* signature, size_t signatureLength,
                    const KitTrust& trust, const wchar_t* productCode, const wchar_t* where);
  // The part of Accept after the signature: the format, the serial against
  // minSerial, the product. Only for a text whose signature has verified.
  qn::Result ReadVerified(const BYTE* text, size_t textLength, uint32_t minSerial, const wchar_t* productCode,
                          const wchar_t* where);
  bool Accepted() const { return accepted_; }
  uint32_t Serial() const { return serial_; }
  // The line of a kit file; false when the manifest does not list it.
  [[nodiscard]] bool Find(const DownloadableFile& file, ManifestLine* line) const;

 private:
  bool Parse(const wchar_t* productCode, const wchar_t* where);

  const BYTE* text_ = nullptr;
  size_t length_ = 0;
  uint32_t serial_ = 0;
  bool accepted_ = false;
};

// What a pinned package lets into its local setup folder: each kit file is
// checked against the manifest of the side it comes from, the server's for a
// download, the package's for a copy out of the package folder. Both are
// accepted, or refused, before anything is placed. Unpinned, the gate has no
// say and the run goes as it always did.
class KitGate {
 public:
  explicit KitGate(const KitTrust& trust) : trust_(trust) {}
  KitGate(const KitGate&) = delete;
  KitGate& operator=(const KitGate&) = delete;
  bool Pinned() const { return trust_.pinned; }
  // Downloads the server's manifest and signature (uncounted) from the
  // default base URL's folder; fails (logged) unless it is accepted.
  qn::Result AcceptServerManifest(const wchar_t* productCode);
  // The package's own, beside the program.
  qn::Result AcceptPackageManifest(const wchar_t* productCode);
  // The line a file from that side must match; false (logged) when that
  // side's manifest does not list the file.
  [[nodiscard]] bool ServerLine(const DownloadableFile& file, ManifestLine* line) const {
    return LineOf(server_, file, L"server", line);
  }
  [[nodiscard]] bool PackageLine(const DownloadableFile& file, ManifestLine* line) const {
    return LineOf(package_, file, L"package", line);
  }

 private:
  bool LineOf(const KitManifest& manifest, const DownloadableFile& file, const wchar_t* side, ManifestLine* line) const;

  const KitTrust& trust_;
  qn::FileBytes serverText_;
  qn::FileBytes packageText_;
  KitManifest server_;
  KitManifest package_;
};

