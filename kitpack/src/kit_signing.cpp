#include "kit_signing.h"

#include <algorithm>
#include <memory>
#include <vector>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

namespace kitpack {

namespace {

const size_t kBlobHeaderBytes = 20;
const uint32_t kCalgRsaSign = 0x00002400;
const uint32_t kRsa1Magic = 0x31415352;  // "RSA1"

template <class T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
typedef std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>> BigNum;
typedef std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>> Key;
typedef std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>> KeyContext;
typedef std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>> DigestContext;
typedef std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>> Bio;
typedef std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>> ParamBuilder;
typedef std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM, OSSL_PARAM_free>> Params;

uint32_t Little32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

void AppendLittle32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

BigNum FromBigEndian(const std::string& bytes) {
  return BigNum(
      BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), nullptr));
}

// The public key a blob holds, as OpenSSL's own key.
Key KeyFromBlob(const std::string& blob) {
  PublicKeyBlob fields;
  if (!ParsePublicKeyBlob(blob, fields).empty()) return Key();
  BigNum n = FromBigEndian(fields.modulus);
  BigNum e(BN_new());
  ParamBuilder builder(OSSL_PARAM_BLD_new());
  if (!n || !e || !builder || BN_set_word(e.get(), fields.exponent) != 1 ||
      OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
    return Key();
  }
  Params params(OSSL_PARAM_BLD_to_param(builder.get()));
  KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    return Key();
  }
  return Key(key);
}

}  // namespace

std::string ParsePublicKeyBlob(const std::string& bytes, PublicKeyBlob& key) {
  key = PublicKeyBlob();
  if (bytes.size() < kBlobHeaderBytes) return "is shorter than the 20 bytes of a PUBLICKEYBLOB's headers";
  if (bytes[0] != 0x06 || bytes[1] != 0x02 || bytes[2] != 0 || bytes[3] != 0) {
    return "does not start as a PUBLICKEYBLOB of version 2 (06 02 00 00)";
  }
  if (Little32(bytes, 4) != kCalgRsaSign) return "is no RSA signature key (its algorithm is not CALG_RSA_SIGN)";
  if (Little32(bytes, 8) != kRsa1Magic) return "has no RSA1 magic where the RSA public key starts";
  uint32_t bits = Little32(bytes, 12);
  if (bits < kMinKeyBits || bits > kMaxKeyBits || bits % 8 != 0) {
    return "has " + std::to_string(bits) + " bits, not a multiple of 8 from 2048 to 4096";
  }
  if (bytes.size() != kBlobHeaderBytes + bits / 8) {
    return "is " + std::to_string(bytes.size()) + " bytes long, not the " +
           std::to_string(kBlobHeaderBytes + bits / 8) +
           " of a " + std::to_string(bits) + "-bit key";
  }
  if (!(static_cast<unsigned char>(bytes.back()) & 0x80)) {
    return "has a modulus shorter than its " + std::to_string(bits) + " bits (the top bit is not set)";
  }
  uint32_t exponent = Little32(bytes, 16);
  // An exponent of 1 would make any padded digest its own signature.
  if (exponent < 3 || exponent % 2 == 0) {
    return "has the public exponent " + std::to_string(exponent) + ", no RSA key's";
  }
  key.bits = bits;
  key.exponent = exponent;
  key.modulus.assign(bytes.rbegin(), bytes.rbegin() + static_cast<ptrdiff_t>(bits / 8));
  return std::string();
}

std::string EncodeBase64(const std::string& bytes) {
  std::vector<unsigned char> text(4 * ((bytes.size() + 2) / 3) + 1);
  int length = EVP_EncodeBlock(text.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<int>(bytes.size()));
  return std::string(reinterpret_cast<const char*>(text.data()), static_cast<size_t>(length));
}

bool DecodeBase64(const std::string& text, std::string& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  bytes.clear();
  if (text.empty() || text.size() % 4 != 0) return false;
  size_t padding = text.size() - (text.find_last_not_of('=') + 1);
  size_t firstOther = std::min(text.find_first_not_of(kAlphabet), text.size());
  if (padding > 2 || firstOther != text.size() - padding) return false;
  std::vector<unsigned char> out(text.size() / 4 * 3);
  // EVP_DecodeBlock counts the padding as zero bytes; they are not the data's.
  int length = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                               static_cast<int>(text.size()));
  if (length != static_cast<int>(out.size())) return false;
  bytes.assign(reinterpret_cast<const char*>(out.data()), out.size() - padding);
  if (EncodeBase64(bytes) != text) {
    bytes.clear();
    return false;
  }
  return true;
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0xF];
  }
  return hex;
}

SigningKey::~SigningKey() { EVP_PKEY_free(key_); }

bool SigningKey::Generate(unsigned bits) {
  KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* key = nullptr;
  if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) != 1 ||
      EVP_PKEY_generate(context.get(), &key) != 1) {
    return false;
  }
  EVP_PKEY_free(key_);
  key_ = key;
  return true;
}

SigningKey::LoadResult SigningKey::Load(const std::string& path, std::string& why) {
  Bio file(BIO_new_file(path.c_str(), "r"));
  if (!file) {
    why = "cannot be opened";
    return kUnreadable;
  }
  Key key(PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr));
  if (!key) {
    why = "holds no PEM private key kitpack can read";
    return kUnreadable;
  }
  if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) {
    why = "holds a private key that is not RSA";
    return kUnusable;
  }
  EVP_PKEY_free(key_);
  key_ = key.release();
  if (Bits() < kMinKeyBits || Bits() > kMaxKeyBits) {
    why = "holds a " + std::to_string(Bits()) + "-bit RSA key; kitfetcher takes 2048 to 4096 bits";
    return kUnusable;
  }
  if (PublicBlob().empty()) {
    why = "holds an RSA key whose public exponent does not fit kitfetcher's key blob";
    return kUnusable;
  }
  return kLoaded;
}

unsigned SigningKey::Bits() const { return key_ ? static_cast<unsigned>(EVP_PKEY_get_bits(key_)) : 0; }

std::string SigningKey::PrivatePem() const {
  Bio memory(BIO_new(BIO_s_mem()));
  if (!key_ || !memory ||
      PEM_write_bio_PrivateKey(memory.get(), key_, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    return std::string();
  }
  char* data = nullptr;
  long length = BIO_get_mem_data(memory.get(), &data);
  std::string pem(data, static_cast<size_t>(length));
  OPENSSL_cleanse(data, static_cast<size_t>(length));
  return pem;
}

std::string SigningKey::PublicBlob() const {
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  bool got = key_ && EVP_PKEY_get_bn_param(key_, OSSL_PKEY_PARAM_RSA_N, &n) == 1 &&
             EVP_PKEY_get_bn_param(key_, OSSL_PKEY_PARAM_RSA_E, &e) == 1;
  BigNum modulus(n), exponent(e);
  if (!got || BN_num_bits(exponent.get()) > 32 || BN_num_bits(modulus.get()) % 8 != 0) return std::string();
  int bytes = BN_num_bytes(modulus.get());
  std::string blob = {0x06, 0x02, 0x00, 0x00};
  AppendLittle32(blob, kCalgRsaSign);
  AppendLittle32(blob, kRsa1Magic);
  AppendLittle32(blob, static_cast<uint32_t>(BN_num_bits(modulus.get())));
  AppendLittle32(blob, static_cast<uint32_t>(BN_get_word(exponent.get())));
  std::vector<unsigned char> little(static_cast<size_t>(bytes));
  if (BN_bn2lebinpad(modulus.get(), little.data(), bytes) != bytes) return std::string();
  blob.append(little.begin(), little.end());
  return blob;
}

bool SigningKey::Sign(const std::string& data, std::string& signature) const {
  signature.clear();
  DigestContext context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* keyContext = nullptr;  // owned by the digest context
  size_t length = 0;
  if (!key_ || !context || EVP_DigestSignInit(context.get(), &keyContext, EVP_sha256(), nullptr, key_) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PADDING) != 1 ||
      EVP_DigestSign(context.get(), nullptr, &length, reinterpret_cast<const unsigned char*>(data.data()),
                     data.size()) != 1) {
    return false;
  }
  std::vector<unsigned char> out(length);
  if (EVP_DigestSign(context.get(), out.data(), &length, reinterpret_cast<const unsigned char*>(data.data()),
                     data.size()) != 1) {
    return false;
  }
  signature.assign(out.begin(), out.begin() + static_cast<ptrdiff_t>(length));
  return true;
}

bool VerifyWithBlob(const std::string& blob, const std::string& data, const std::string& signature) {
  Key key = KeyFromBlob(blob);
  DigestContext context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* keyContext = nullptr;
  if (!key || !context || signature.size() != static_cast<size_t>(EVP_PKEY_get_size(key.get())) ||
      EVP_DigestVerifyInit(context.get(), &keyContext, EVP_sha256(), nullptr, key.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(keyContext, RSA_PKCS1_PADDING) != 1) {
    return false;
  }
  return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                          reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}

}  // namespace kitpack
