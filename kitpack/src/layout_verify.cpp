#include "layout_verify.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>
#include <vector>

#include "findings.h"
#include "kit_layout.h"
#include "manifest_text.h"
#include "md5_digest.h"
#include "text_units.h"

namespace fs = std::filesystem;

namespace kitpack {

namespace {

const char kTokenSuffix[] = ".md5";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Files that carry no token: the package's own, the product code and the
// signed manifest.
bool NeedsNoToken(const std::string& relative) {
  std::string leaf = relative.substr(relative.rfind('/') + 1);
  if (leaf == "productcode.txt" || leaf == kManifestName || leaf == kSignatureName) return true;
  if (relative.find('/') != std::string::npos) return false;
  if (relative == "locations.xml") return true;
  return std::find(std::begin(kProgramFiles), std::end(kProgramFiles), relative) != std::end(kProgramFiles);
}

// The token as kitfetcher reads it: the first word of the file.
std::string FirstWord(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string word;
  in >> word;
  return word;
}

}  // namespace

int RunVerify(const std::string& folder, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    err << "kitpack: " << folder << " is no folder\n";
    return kExitUnreadable;
  }
  std::set<std::string> files;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file()) files.insert(fs::relative(it->path(), folder, ec).generic_string());
  }
  if (ec) {
    err << "kitpack: cannot read " << folder << ": " << ec.message() << "\n";
    return kExitUnreadable;
  }
  int problems = 0;
  int checked = 0;
  for (const std::string& file : files) {
    if (EndsWith(file, kTokenSuffix)) {
      if (!files.count(file.substr(0, file.size() - 4))) {
        err << folder << "/" << file << ": a token without its file\n";
        ++problems;
      }
      continue;
    }
    if (NeedsNoToken(file)) continue;
    std::string tokenFile = file + kTokenSuffix;
    if (!files.count(tokenFile)) {
      err << folder << "/" << file << ": a file without a token\n";
      ++problems;
      continue;
    }
    std::string digest;
    if (!FileMd5Hex((fs::path(folder) / file).string(), digest)) {
      err << folder << "/" << file << ": cannot be read\n";
      ++problems;
      continue;
    }
    std::string token = FirstWord(fs::path(folder) / tokenFile);
    ++checked;
    if (AsciiLower(token) != digest) {
      err << folder << "/" << tokenFile << ": the token \"" << token << "\" does not match the file's MD5 " << digest
          << "\n";
      ++problems;
    }
  }
  out << checked << " tokens checked, " << problems << " problems\n";
  return problems ? kExitErrors : kExitClean;
}

}  // namespace kitpack
