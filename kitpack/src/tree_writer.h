// Brings a folder that kitpack owns to exactly a planned set of files: writes
// what differs, leaves what matches alone, removes what the plan lacks.
#pragma once
#include <map>
#include <ostream>
#include <string>

namespace kitpack {

struct PlannedFile {
  std::string source;  // a file to copy, or
  std::string bytes;   // the content itself when source is empty
};

// Relative paths with '/' to their content.
typedef std::map<std::string, PlannedFile> TreePlan;

// False (with a message to err) when a file cannot be written. Links inside
// the folder are replaced, never followed.
bool WriteTree(const std::string& folder, const TreePlan& plan, std::ostream& err);

}  // namespace kitpack
