// RSA signatures of kit manifests with OpenSSL, and the CryptoAPI public key
// blob through which kitfetcher knows the key: PKCS#1 v1.5 over SHA-256, the
// one signature that Windows XP SP3 verifies with its own libraries.
#pragma once
#include <cstdint>
#include <string>

typedef struct evp_pkey_st EVP_PKEY;

namespace kitpack {

// Key sizes kitfetcher takes.
const unsigned kMinKeyBits = 2048;
const unsigned kMaxKeyBits = 4096;
const unsigned kNewKeyBits = 3072;

// The fields of a CryptoAPI PUBLICKEYBLOB of an RSA signature key.
struct PublicKeyBlob {
  unsigned bits = 0;
  uint32_t exponent = 0;
  std::string modulus;  // big-endian, bits / 8 bytes
};

// Why the bytes are no PUBLICKEYBLOB kitfetcher can use; empty when they are one.
std::string ParsePublicKeyBlob(const std::string& bytes, PublicKeyBlob& key);

// Standard base64 on one line.
std::string EncodeBase64(const std::string& bytes);
// Strict: the RFC 4648 alphabet, '=' padding, no blanks, and the one encoding
// of its bytes (unused bits zero).
bool DecodeBase64(const std::string& text, std::string& bytes);

std::string Sha256Hex(const std::string& bytes);

// An RSA private key that signs manifests.
class SigningKey {
 public:
  enum LoadResult { kLoaded, kUnreadable, kUnusable };

  SigningKey() = default;
  ~SigningKey();
  SigningKey(const SigningKey&) = delete;
  SigningKey& operator=(const SigningKey&) = delete;

  bool Generate(unsigned bits);
  // Reads a PEM private key; why says what stops it.
  LoadResult Load(const std::string& path, std::string& why);
  unsigned Bits() const;
  // Unencrypted PKCS#8 PEM; empty on failure. The caller wipes it after use.
  std::string PrivatePem() const;
  // The blob of its public half; empty when its exponent does not fit one.
  std::string PublicBlob() const;
  // RSASSA-PKCS1-v1_5 with SHA-256, big-endian as OpenSSL writes it.
  bool Sign(const std::string& data, std::string& signature) const;

 private:
  EVP_PKEY* key_ = nullptr;
};

// Whether the signature verifies under the key a PUBLICKEYBLOB holds.
bool VerifyWithBlob(const std::string& blob, const std::string& data, const std::string& signature);

}  // namespace kitpack
