#include "downloader/services/kit_crypto.h"

#include <string.h>
#include <wchar.h>


namespace {

int Base64Value(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return c - L'A';
  if (c >= L'a' && c <= L'z') return c - L'a' + 26;
  if (c >= L'0' && c <= L'9') return c - L'0' + 52;
  if (c == L'+') return 62;
  if (c == L'/') return 63;
  return -1;
}

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

DWORD ReadLittle32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}

qn::Result AcquireProvider(HCRYPTPROV* provider) {
  // No provider name: XP SP3 names its AES provider differently from later systems.
  if (CryptAcquireContextW(provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
    return qn::Result::Ok();
  return qn::Result::LastError();
}

}  // namespace

bool DecodeBase64(const wchar_t* text, BYTE* out, size_t capacity, size_t* length) {
  *length = 0;
  if (!text) return false;
  size_t chars = wcslen(text);
  if (chars == 0 || chars % 4 != 0) return false;
  size_t padding = 0;
  if (text[chars - 1] == L'=') padding = text[chars - 2] == L'=' ? 2 : 1;
  size_t bytes = chars / 4 * 3 - padding;
  if (bytes > capacity) return false;
  size_t written = 0;
  for (size_t i = 0; i < chars; i += 4) {
    int v[4];
    for (size_t k = 0; k < 4; ++k) {
      bool padded = i + k >= chars - padding;
      v[k] = padded ? (text[i + k] == L'=' ? 0 : -1) : Base64Value(text[i + k]);
      if (v[k] < 0) return false;
    }
    DWORD group = (static_cast<DWORD>(v[0]) << 18) | (static_cast<DWORD>(v[1]) << 12) |
                  (static_cast<DWORD>(v[2]) << 6) | static_cast<DWORD>(v[3]);
    BYTE three[3] = {static_cast<BYTE>(group >> 16), static_cast<BYTE>(group >> 8), static_cast<BYTE>(group)};
    size_t take = (i + 4 == chars) ? 3 - padding : 3;
    // Bits the padding drops must be zero, or two texts would mean one key.
    if (take < 3 && three[take] != 0) return false;
    if (take == 1 && (group & 0xFFFF) != 0) return false;
    memcpy(out + written, three, take);
    written += take;
  }
  *length = written;
  return true;
}

bool ReadPublicKey(const wchar_t* base64, PublicKeyBlob* key) {
  key->length = key->bits = 0;
  size_t length = 0;
  if (!DecodeBase64(base64, key->bytes, sizeof(key->bytes), &length) || length < 20) return false;
  const BYTE* b = key->bytes;
  // BLOBHEADER: PUBLICKEYBLOB, version 2, reserved 0, CALG_RSA_SIGN.
  if (b[0] != PUBLICKEYBLOB || b[1] != CUR_BLOB_VERSION || b[2] != 0 || b[3] != 0) return false;
  if (ReadLittle32(b + 4) != CALG_RSA_SIGN) return false;
  // RSAPUBKEY: "RSA1", the modulus's bits, the public exponent.
  if (ReadLittle32(b + 8) != 0x31415352) return false;
  DWORD bits = ReadLittle32(b + 12);
  DWORD exponent = ReadLittle32(b + 16);
  if (bits < kMinKeyBits || bits > kMaxKeyBits || bits % 8 != 0) return false;
  if (length != 20 + bits / 8) return false;
  // Little-endian modulus: its last byte holds the top bit.
  if ((b[length - 1] & 0x80) == 0) return false;
  if (exponent < 3 || exponent % 2 == 0) return false;
  key->length = static_cast<DWORD>(length);
  key->bits = bits;
  return true;
}

Sha256::Sha256() {
  made_ = AcquireProvider(&provider_);
  if (!made_) {
    provider_ = 0;
    return;
  }
  if (!CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) {
    made_ = qn::Result::LastError();
    hash_ = 0;
  }
}

Sha256::~Sha256() {
  if (hash_) CryptDestroyHash(hash_);
  if (provider_) CryptReleaseContext(provider_, 0);
}

qn::Result Sha256::Add(const void* data, DWORD length) {
  if (!hash_) return made_;
  if (CryptHashData(hash_, static_cast<const BYTE*>(data), length, 0)) return qn::Result::Ok();
  return qn::Result::LastError();
}

qn::Result Sha256::Finish(BYTE digest[kSha256Bytes]) {
  if (!hash_) return made_;
  DWORD size = kSha256Bytes;
  if (!CryptGetHashParam(hash_, HP_HASHVAL, digest, &size, 0)) return qn::Result::LastError();
  return size == kSha256Bytes ? qn::Result::Ok() : qn::Result(qn::kRefused);
}

qn::Result VerifySignature(const PublicKeyBlob& key, const void* data, DWORD dataLength, const BYTE* signature,
                           size_t signatureLength) {
  if (!signature || key.length == 0 || signatureLength != key.bits / 8) return qn::Result(qn::kRefused);
  // OpenSSL writes the signature big-endian; CryptoAPI reads it little-endian.
  BYTE reversed[kMaxKeyBits / 8];
  for (size_t i = 0; i < signatureLength; ++i) reversed[i] = signature[signatureLength - 1 - i];
  HCRYPTPROV provider = 0;
  qn::Result verified = AcquireProvider(&provider);
  if (!verified) return verified;
  HCRYPTKEY imported = 0;
  HCRYPTHASH hash = 0;
  if (!CryptImportKey(provider, key.bytes, key.length, 0, 0, &imported) ||
      !CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) ||
      !CryptHashData(hash, static_cast<const BYTE*>(data), dataLength, 0) ||
      !CryptVerifySignatureW(hash, reversed, static_cast<DWORD>(signatureLength), imported, nullptr, 0)) {
    verified = qn::Result::LastError();
  }
  if (hash) CryptDestroyHash(hash);
  if (imported) CryptDestroyKey(imported);
  CryptReleaseContext(provider, 0);
  return verified;
}

void DigestToHex(const BYTE digest[kSha256Bytes], wchar_t* out) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  for (size_t i = 0; i < kSha256Bytes; ++i) {
    out[2 * i] = kDigits[digest[i] >> 4];
    out[2 * i + 1] = kDigits[digest[i] & 15];
  }
  out[2 * kSha256Bytes] = L'\0';
}

bool HexToDigestA(const char* hex, size_t length, BYTE digest[kSha256Bytes]) {
  if (!hex || length != 2 * kSha256Bytes) return false;
  for (size_t i = 0; i < kSha256Bytes; ++i) {
    int high = HexValue(hex[2 * i]);
    int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<BYTE>(high * 16 + low);
  }
  return true;
}

bool HexToDigest(const wchar_t* hex, BYTE digest[kSha256Bytes]) {
  if (!hex || wcslen(hex) != 2 * kSha256Bytes) return false;
  char narrow[2 * kSha256Bytes];
  for (size_t i = 0; i < 2 * kSha256Bytes; ++i) narrow[i] = hex[i] > 0x7F ? 'x' : static_cast<char>(hex[i]);
  return HexToDigestA(narrow, sizeof(narrow), digest);
}
