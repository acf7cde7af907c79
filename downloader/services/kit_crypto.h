// The vendor's signature and the kit's file hashes, through CryptoAPI (advapi32,
// a known DLL on every system the program runs on): RSA PKCS#1 v1.5 over
// SHA-256, the one signature that Windows XP SP3 verifies with system code.
//
// Threading: no shared state; each object belongs to the thread that made it.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <windows.h>
#include <wincrypt.h>

#include "common/result.h"

constexpr size_t kSha256Bytes = 32;
constexpr size_t kSha256HexChars = 2 * kSha256Bytes + 1;
// A CryptoAPI PUBLICKEYBLOB of an RSA key of 2048 to 4096 bits.
constexpr DWORD kMinKeyBits = 2048;
constexpr DWORD kMaxKeyBits = 4096;
constexpr size_t kMaxPublicKeyBlobBytes = 20 + kMaxKeyBits / 8;

struct PublicKeyBlob {
  BYTE bytes[kMaxPublicKeyBlobBytes];
  DWORD length;
  DWORD bits;
};

// Decodes standard base64 (RFC 4648 alphabet, '=' padding, nothing else) into
// `out`; false for any other text, a text whose padding bits are not zero (it
// would not encode back to itself), or one longer than `capacity` bytes.
[[nodiscard]] bool DecodeBase64(const wchar_t* text, BYTE* out, size_t capacity, size_t* length);

// The text of a trust element's key attribute as a well-formed PUBLICKEYBLOB:
// RSA signature key, "RSA1", 2048 to 4096 bits in whole bytes, exactly as long
// as its modulus needs, the modulus's top bit set, an odd public exponent of 3
// or more (an exponent of 1 would make every message its own signature).
[[nodiscard]] bool ReadPublicKey(const wchar_t* base64, PublicKeyBlob* key);

// SHA-256 fed piece by piece.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  // False when CryptoAPI cannot hash (no AES provider); Add and Finish then fail
  // with the cause.
  bool Ready() const { return hash_ != 0; }
  qn::Result Add(const void* data, DWORD length);
  // The digest; the object takes no more data afterwards.
  qn::Result Finish(BYTE digest[kSha256Bytes]);

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
  qn::Result made_;  // why there is no hash object, if there is none
};

// Success only when `signature` (as OpenSSL writes it: big-endian, as long as
// the modulus) is the key's RSA PKCS#1 v1.5 signature of SHA-256 over `data`.
// Every failure counts as a refusal, whatever its code: a wrong key answers
// NTE_FAIL, not NTE_BAD_SIGNATURE. A signature of the wrong length or no key
// is kRefused; otherwise the code is CryptoAPI's.
qn::Result VerifySignature(const PublicKeyBlob& key, const void* data, DWORD dataLength, const BYTE* signature,
                           size_t signatureLength);

// Lower-case hex of a digest into `out` (kSha256HexChars).
void DigestToHex(const BYTE digest[kSha256Bytes], wchar_t* out);
// 64 hex digits (either case) into a digest; false for anything else.
[[nodiscard]] bool HexToDigest(const wchar_t* hex, BYTE digest[kSha256Bytes]);
// The same from narrow text of exactly 64 characters.
[[nodiscard]] bool HexToDigestA(const char* hex, size_t length, BYTE digest[kSha256Bytes]);
