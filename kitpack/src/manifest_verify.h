// `kitpack verify --locations`: every signed manifest of a laid-out folder
// against the description that pins its keys, and every file it lists.
#pragma once
#include <ostream>
#include <string>

namespace kitpack {

// folder: a laid-out server/ or offline/ folder (offline when it holds
// locations.xml). An exit code of findings.h: clean, warnings, errors (any
// mismatch), unreadable (no such folder, an unreadable description).
int RunManifestVerify(const std::string& folder, const std::string& locationsPath, std::ostream& out,
                      std::ostream& err);

}  // namespace kitpack
