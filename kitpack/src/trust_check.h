// The trust element of a kit description: the keys that sign its kits, the
// lowest serial it accepts and the removal library's digest.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "findings.h"
#include "xml_source.h"

namespace kitpack {

struct TrustKey {
  std::string attribute;  // "key" or "key2"
  std::string blob;       // the PUBLICKEYBLOB's bytes
  unsigned bits = 0;
};

struct TrustPin {
  bool present = false;  // a <trust> child of <locations>: kitfetcher wants signed kits
  int line = 0;
  std::vector<TrustKey> keys;  // the usable ones
  uint64_t minSerial = 0;
  std::string removalLibrary;  // lower-case SHA-256 hex; empty: not pinned

  bool Pins(const std::string& blob) const;
};

// Reads the first <trust> child of <locations>, and reports every way the
// element fails to pin what it evidently means to.
TrustPin ReadTrust(const XmlSource& source, Findings& findings);

// A short name of a key for people comparing keys: its blob's SHA-256, cut.
std::string KeyFingerprint(const std::string& blob);

// The element to paste into <locations> for a new key.
std::string TrustElementFor(const std::string& blob);

// What kitfetcher will trust, in words.
void PrintTrustSummary(std::ostream& out, const TrustPin& trust);

}  // namespace kitpack
