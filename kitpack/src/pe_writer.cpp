#include "pe_writer.h"

#include <map>
#include <tuple>

namespace kitpack {

namespace {

const uint32_t kFileAlignment = 0x200;
const uint32_t kSectionAlignment = 0x1000;
const uint32_t kPeOffset = 0x40;  // right after the DOS header: no DOS stub program
const uint32_t kHeadersSize = 0x200;
const uint32_t kRsrcRva = 0x1000;
const uint32_t kImageBase = 0x10000000;

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

void Put16(std::string& out, size_t at, uint32_t value) {
  out[at] = static_cast<char>(value & 0xFF);
  out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, size_t at, uint32_t value) {
  Put16(out, at, value & 0xFFFF);
  Put16(out, at + 2, value >> 16);
}

// name -> language -> data, per type; std::map keeps every level in the
// ascending id order the loader's binary search relies on.
typedef std::map<uint16_t, std::map<uint16_t, std::map<uint16_t, const std::string*>>> ResourceTree;

const uint32_t kDirectorySize = 16;
const uint32_t kEntrySize = 8;
const uint32_t kDataEntrySize = 16;
const uint32_t kSubdirectoryBit = 0x80000000u;

// Directory header with only numbered entries; time stamp and version stay 0 so
// that the same texts make the same file.
void PutDirectory(std::string& section, uint32_t at, size_t idEntries) {
  Put16(section, at + 14, static_cast<uint32_t>(idEntries));
}

std::string ResourceSection(const ResourceTree& tree) {
  // Directories first (types, then each type's names, then each name's
  // languages), then the data entries, then the data itself.
  uint32_t size = kDirectorySize + kEntrySize * static_cast<uint32_t>(tree.size());
  uint32_t leaves = 0;
  for (const auto& type : tree) {
    size += kDirectorySize + kEntrySize * static_cast<uint32_t>(type.second.size());
    for (const auto& name : type.second) {
      size += kDirectorySize + kEntrySize * static_cast<uint32_t>(name.second.size());
      leaves += static_cast<uint32_t>(name.second.size());
    }
  }
  uint32_t dataEntries = size;
  uint32_t dataStart = AlignUp(dataEntries + kDataEntrySize * leaves, 8);
  uint32_t total = dataStart;
  for (const auto& type : tree) {
    for (const auto& name : type.second) {
      for (const auto& language : name.second) total = AlignUp(total + static_cast<uint32_t>(language.second->size()), 8);
    }
  }
  std::string section(total, '\0');

  PutDirectory(section, 0, tree.size());
  uint32_t nextDirectory = kDirectorySize + kEntrySize * static_cast<uint32_t>(tree.size());
  uint32_t nextLeaf = dataEntries;
  uint32_t nextData = dataStart;
  uint32_t typeEntry = kDirectorySize;
  for (const auto& type : tree) {
    uint32_t typeDirectory = nextDirectory;
    Put32(section, typeEntry, type.first);
    Put32(section, typeEntry + 4, kSubdirectoryBit | typeDirectory);
    typeEntry += kEntrySize;
    PutDirectory(section, typeDirectory, type.second.size());
    nextDirectory += kDirectorySize + kEntrySize * static_cast<uint32_t>(type.second.size());
    uint32_t nameEntry = typeDirectory + kDirectorySize;
    for (const auto& name : type.second) {
      uint32_t nameDirectory = nextDirectory;
      Put32(section, nameEntry, name.first);
      Put32(section, nameEntry + 4, kSubdirectoryBit | nameDirectory);
      nameEntry += kEntrySize;
      PutDirectory(section, nameDirectory, name.second.size());
      nextDirectory += kDirectorySize + kEntrySize * static_cast<uint32_t>(name.second.size());
      uint32_t languageEntry = nameDirectory + kDirectorySize;
      for (const auto& language : name.second) {
        Put32(section, languageEntry, language.first);
        Put32(section, languageEntry + 4, nextLeaf);  // no subdirectory bit: a data entry
        languageEntry += kEntrySize;
        const std::string& data = *language.second;
        Put32(section, nextLeaf, kRsrcRva + nextData);  // data entries hold an RVA, not an offset
        Put32(section, nextLeaf + 4, static_cast<uint32_t>(data.size()));
        nextLeaf += kDataEntrySize;
        section.replace(nextData, data.size(), data);
        nextData = AlignUp(nextData + static_cast<uint32_t>(data.size()), 8);
      }
    }
  }
  return section;
}

// The image checksum Windows computes (CheckSumMappedFile): only drivers and
// boot-time images must carry it, but a right one costs nothing.
uint32_t ImageChecksum(const std::string& file, size_t checksumAt) {
  uint64_t sum = 0;
  for (size_t i = 0; i + 1 < file.size(); i += 2) {
    if (i == checksumAt || i == checksumAt + 2) continue;
    sum += static_cast<unsigned char>(file[i]) | (static_cast<unsigned char>(file[i + 1]) << 8);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + file.size());
}

}  // namespace

std::string WriteResourceOnlyPe32(const std::vector<PeResource>& resources) {
  ResourceTree tree;
  for (const PeResource& r : resources) tree[r.type][r.name].emplace(r.language, &r.bytes);
  std::string rsrc = ResourceSection(tree);
  uint32_t rawSize = AlignUp(static_cast<uint32_t>(rsrc.size()), kFileAlignment);
  std::string file(kHeadersSize + rawSize, '\0');

  // DOS header: the signature and where the PE header lies.
  file[0] = 'M';
  file[1] = 'Z';
  Put32(file, 0x3C, kPeOffset);

  size_t at = kPeOffset;
  file.replace(at, 4, std::string("PE\0\0", 4));
  size_t coff = at + 4;
  Put16(file, coff + 0, 0x014C);  // i386
  Put16(file, coff + 2, 1);       // one section
  // Time stamp, symbol table: 0.
  const uint32_t kOptionalHeaderSize = 0xE0;
  Put16(file, coff + 16, kOptionalHeaderSize);
  // Executable image, no line numbers or local symbols, 32-bit machine, a DLL.
  // Not "relocations stripped": the image holds nothing to relocate, so any
  // base will do where its preferred one is taken.
  Put16(file, coff + 18, 0x0002 | 0x0004 | 0x0008 | 0x0100 | 0x2000);

  size_t opt = coff + 20;
  Put16(file, opt + 0, 0x010B);  // PE32
  Put32(file, opt + 8, rawSize);  // size of initialised data; no code at all
  // Entry point (opt + 16), base of code (opt + 20): 0.
  Put32(file, opt + 24, kRsrcRva);  // base of data
  Put32(file, opt + 28, kImageBase);
  Put32(file, opt + 32, kSectionAlignment);
  Put32(file, opt + 36, kFileAlignment);
  Put16(file, opt + 40, 5);  // operating system 5.1: Windows XP
  Put16(file, opt + 42, 1);
  Put16(file, opt + 48, 5);  // subsystem 5.1
  Put16(file, opt + 50, 1);
  uint32_t imageSize = kRsrcRva + AlignUp(static_cast<uint32_t>(rsrc.size()), kSectionAlignment);
  Put32(file, opt + 56, imageSize);
  Put32(file, opt + 60, kHeadersSize);
  const size_t checksumAt = opt + 64;
  Put16(file, opt + 68, 2);                // Windows GUI
  Put16(file, opt + 70, 0x0100 | 0x0400);  // NX compatible, no structured exception handlers
  Put32(file, opt + 72, 0x100000);         // stack and heap reserve and commit
  Put32(file, opt + 76, 0x1000);
  Put32(file, opt + 80, 0x100000);
  Put32(file, opt + 84, 0x1000);
  Put32(file, opt + 92, 16);  // data directories
  const size_t directories = opt + 96;
  Put32(file, directories + 2 * 8, kRsrcRva);  // the resource directory; every other one stays empty
  Put32(file, directories + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));

  size_t section = opt + kOptionalHeaderSize;
  file.replace(section, 8, std::string(".rsrc\0\0\0", 8));
  Put32(file, section + 8, static_cast<uint32_t>(rsrc.size()));  // virtual size
  Put32(file, section + 12, kRsrcRva);
  Put32(file, section + 16, rawSize);
  Put32(file, section + 20, kHeadersSize);
  Put32(file, section + 36, 0x40000040);  // initialised data, readable

  file.replace(kHeadersSize, rsrc.size(), rsrc);
  Put32(file, checksumAt, ImageChecksum(file, checksumAt));
  return file;
}

}  // namespace kitpack
