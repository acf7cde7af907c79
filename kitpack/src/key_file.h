// `kitpack keygen`: a new signing key in a file of its own, and the trust
// element that pins it.
#pragma once
#include <ostream>
#include <string>

namespace kitpack {

// An exit code of findings.h: clean (written), errors (the file exists: a key
// is never overwritten), unreadable (the file cannot be created).
int RunKeygen(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace kitpack
