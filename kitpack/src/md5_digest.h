// Digests of a kit file: its MD5 as the 32 lower-case hex digits of its .md5
// token, its SHA-256 as the 64 of its manifest line.
#pragma once
#include <cstdint>
#include <string>

namespace kitpack {

// False when the file cannot be read.
bool FileMd5Hex(const std::string& path, std::string& hex);
// The size is what was hashed.
bool FileSha256Hex(const std::string& path, std::string& hex, uint64_t& size);

}  // namespace kitpack
