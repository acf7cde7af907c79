// A resource-only Windows library (PE32, i386): headers and one .rsrc section,
// no code, no entry point, no imports, no relocations. Windows maps such a file
// as data (LoadLibraryEx with LOAD_LIBRARY_AS_DATAFILE or
// LOAD_LIBRARY_AS_IMAGE_RESOURCE) from XP SP3 on, whatever the caller's bitness.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kitpack {

// One resource, named by numbers only (all that kitfetcher's resources use).
struct PeResource {
  uint16_t type;      // RT_STRING 6, RT_DIALOG 5, ...
  uint16_t name;      // the resource id; for RT_STRING the block (id / 16 + 1)
  uint16_t language;  // LANGID
  std::string bytes;  // the resource's data as Windows reads it
};

// The whole file. Resources may come in any order; two with the same type,
// name and language are a caller's mistake (the later one is dropped).
std::string WriteResourceOnlyPe32(const std::vector<PeResource>& resources);

}  // namespace kitpack
