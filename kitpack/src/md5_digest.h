// The MD5 of a file as the 32 lower-case hex digits of a kit's .md5 token.
#pragma once
#include <string>

namespace kitpack {

// False when the file cannot be read.
bool FileMd5Hex(const std::string& path, std::string& hex);

}  // namespace kitpack
