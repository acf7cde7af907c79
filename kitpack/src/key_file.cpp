#include "key_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <openssl/crypto.h>

#include "findings.h"
#include "kit_signing.h"
#include "trust_check.h"

namespace kitpack {

namespace {

// Creates the file for the owner alone; never follows a link or replaces
// anything already there.
int WriteNewFile(const std::string& path, const std::string& bytes, std::string& why) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    why = std::strerror(errno);
    return errno == EEXIST ? kExitErrors : kExitUnreadable;
  }
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  bool ok = written == bytes.size() && fsync(fd) == 0;
  if (!ok) why = std::strerror(errno);
  if (close(fd) != 0 && ok) {
    ok = false;
    why = std::strerror(errno);
  }
  if (!ok) unlink(path.c_str());
  return ok ? kExitClean : kExitUnreadable;
}

}  // namespace

int RunKeygen(const std::string& path, std::ostream& out, std::ostream& err) {
  struct stat existing;
  if (lstat(path.c_str(), &existing) == 0) {
    err << "kitpack: " << path << " already exists; keygen never overwrites a file\n";
    return kExitErrors;
  }
  SigningKey key;
  std::string pem, blob;
  if (!key.Generate(kNewKeyBits) || (pem = key.PrivatePem()).empty() || (blob = key.PublicBlob()).empty()) {
    err << "kitpack: OpenSSL cannot make an RSA key\n";
    return kExitErrors;
  }
  std::string why;
  int result = WriteNewFile(path, pem, why);
  OPENSSL_cleanse(&pem[0], pem.size());
  if (result != kExitClean) {
    err << "kitpack: cannot create " << path << ": " << why
        << (result == kExitErrors ? "; keygen never overwrites a file" : "") << "\n";
    return result;
  }
  out << "wrote " << path << ": a new " << kNewKeyBits << "-bit RSA key, fingerprint " << KeyFingerprint(blob)
      << ", readable by you alone.\n"
      << "Keep it secret: whoever holds it can sign kits that kitfetcher runs as administrator.\n"
      << "Paste this element into locations.xml as a child of <locations>:\n"
      << TrustElementFor(blob) << "\n";
  return kExitClean;
}

}  // namespace kitpack
