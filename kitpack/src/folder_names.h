// Whether a text can name one folder or file under kitfetcher's local setup
// folder: the names Windows accepts, less those that could leave the folder or
// name a device or a stream.
#pragma once
#include <string>

namespace kitpack {

enum class NameVerdict {
  kPlain,
  kStripped,  // Windows drops its trailing dots or blanks: legal, but not as written
  kRefused,
};

struct NameCheck {
  NameVerdict verdict;
  std::string reason;  // why it is refused or changed, a sentence fragment
};

NameCheck CheckFolderName(const std::string& name);

}  // namespace kitpack
