// The signed kit manifest's text, byte for byte as kitfetcher reads it: a
// version line, the product code, the serial, one line per kit file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kitpack {

const char kManifestName[] = "kitmanifest.txt";
const char kSignatureName[] = "kitmanifest.sig";
// kitfetcher refuses a larger manifest.
const size_t kManifestMaxBytes = 1024 * 1024;
const uint64_t kSerialMax = 4294967295u;

struct ManifestLine {
  std::string relativePath;  // may be empty
  std::string name;
  uint64_t size = 0;
  std::string sha256;  // 64 lower-case hex digits
};

struct Manifest {
  std::string product;
  uint64_t serial = 0;
  std::vector<ManifestLine> files;
};

// A decimal number without sign, blanks or leading zeros, at most max.
bool ParseDecimal(const std::string& text, uint64_t max, uint64_t& value);

// Why a relative path or a name cannot stand in a manifest line; empty when it can.
std::string ManifestFieldProblem(const std::string& field, bool mayBeEmpty);

// The manifest's bytes; empty with a reason in why when a field cannot be written.
std::string FormatManifest(const Manifest& manifest, std::string& why);

// Why the bytes are no valid manifest; empty when they are one.
std::string ParseManifest(const std::string& bytes, Manifest& manifest);

}  // namespace kitpack
