// Where a layout puts its signed manifests and the files each lists, and
// `kitpack build --sign`: the manifests and their signatures planned into the
// server and offline folders.
#pragma once
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kit_layout.h"
#include "locations_check.h"
#include "tree_writer.h"

namespace kitpack {

typedef std::pair<std::string, std::string> EntryKey;  // relative_path, name

struct ManifestPlace {
  // Relative to server/ or offline/, with '/'.
  std::string manifestPath;
  std::string signaturePath;
  std::string productCodePath;
  // Each file the manifest lists, and where the layout puts it (a file whose
  // branches give it base URLs of their own may lie in two places).
  std::map<EntryKey, std::set<std::string>> files;
};

// One place per server folder that gets a productcode.txt, for each language:
// the files of every branch whose base URL maps there. problems: URLs that no
// folder can serve.
std::map<std::string, ManifestPlace> ServerManifestPlaces(const LocationsCheck& check,
                                                         const std::vector<std::string>& languages,
                                                         std::vector<std::string>& problems);
// The offline package's: the files of both branches, at their relative paths.
ManifestPlace OfflineManifestPlace(const LocationsCheck& check);

// The file's bytes, or its first limit + 1 when it is longer (a caller tells
// an oversized file by its size); false when it cannot be read.
bool ReadUpTo(const std::string& path, size_t limit, std::string& bytes);

// The language for which a branch's base URL puts its productcode.txt at
// path; false when none does.
bool LanguageOfPath(const std::string& baseUrl, const std::string& path, std::string& language);

// With --sign (or a description that pins a key), checks the key, the serial
// and the removal library against the description and adds kitmanifest.txt and
// kitmanifest.sig to both plans. An exit code of findings.h; nothing is
// planned unless it is below kExitErrors.
int PlanSignedManifests(const BuildOptions& options, const LocationsCheck& check,
                        const std::vector<std::string>& languages, const std::string& kitFolder,
                        const std::string& outFolder, TreePlan& server, TreePlan& offline, std::ostream& out,
                        std::ostream& err);

}  // namespace kitpack
