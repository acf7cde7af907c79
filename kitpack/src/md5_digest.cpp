#include "md5_digest.h"

#include <fstream>
#include <memory>
#include <vector>

#include <openssl/evp.h>

namespace kitpack {

namespace {

bool FileDigestHex(const std::string& path, const EVP_MD* algorithm, std::string& hex, uint64_t& size) {
  hex.clear();
  size = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), algorithm, nullptr) != 1) return false;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0 && EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(in.gcount())) != 1) {
      return false;
    }
    size += static_cast<uint64_t>(in.gcount());
  }
  if (in.bad()) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return false;
  static const char kHex[] = "0123456789abcdef";
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return true;
}

}  // namespace

bool FileMd5Hex(const std::string& path, std::string& hex) {
  uint64_t size = 0;
  return FileDigestHex(path, EVP_md5(), hex, size);
}

bool FileSha256Hex(const std::string& path, std::string& hex, uint64_t& size) {
  return FileDigestHex(path, EVP_sha256(), hex, size);
}

}  // namespace kitpack
