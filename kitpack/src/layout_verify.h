// `kitpack verify`: every .md5 token of a laid-out folder against its file.
#pragma once
#include <ostream>
#include <string>

namespace kitpack {

// An exit code of findings.h: clean, errors (a mismatch, a token without a
// file, a file without a token) or unreadable (no such folder).
int RunVerify(const std::string& folder, std::ostream& out, std::ostream& err);

}  // namespace kitpack
