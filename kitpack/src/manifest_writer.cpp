#include "manifest_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "folder_names.h"
#include "kit_signing.h"
#include "kit_url.h"
#include "manifest_text.h"
#include "md5_digest.h"

namespace fs = std::filesystem;

namespace kitpack {

namespace {

const char kProductCodeName[] = "productcode.txt";

std::string ServerPath(const std::string& templ, const std::string& language, const std::vector<std::string>& parts,
                       std::vector<std::string>& problems) {
  std::string url = ComposeKitUrl(templ, language, parts);
  std::string path, why;
  if (!ServerPathOf(url, path, why)) {
    problems.push_back("cannot lay out " + url + ": " + why);
    return std::string();
  }
  return path;
}

// The highest serial of the manifests a previous build left in --out.
bool HighestSerial(const fs::path& outFolder, bool& found, uint64_t& highest, std::string& problem) {
  found = false;
  highest = 0;
  for (const char* tree : {"server", "offline"}) {
    std::error_code ec;
    fs::path root = outFolder / tree;
    if (!fs::is_directory(root, ec)) continue;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->path().filename() != kManifestName || !fs::is_regular_file(it->symlink_status())) continue;
      std::string bytes;
      Manifest manifest;
      std::string why = ReadUpTo(it->path().string(), kManifestMaxBytes, bytes) ? ParseManifest(bytes, manifest)
                                                                                : "it cannot be read";
      if (!why.empty()) {
        problem = "cannot tell the serial of " + it->path().string() + ": " + why;
        return false;
      }
      if (!found || manifest.serial > highest) highest = manifest.serial;
      found = true;
    }
    if (ec) {
      problem = "cannot read " + root.string() + ": " + ec.message();
      return false;
    }
  }
  return true;
}

// The serial of this build; 0 with a message when there is none.
int ChooseSerial(const BuildOptions& options, const std::string& outFolder, uint64_t& serial, std::ostream& err) {
  if (!options.serial.empty()) {
    if (!ParseDecimal(options.serial, kSerialMax, serial)) {
      err << "kitpack: --serial " << options.serial << " is not a decimal number of 0..4294967295\n";
      return kExitUnreadable;
    }
    return kExitClean;
  }
  bool found = false;
  uint64_t highest = 0;
  std::string problem;
  if (!HighestSerial(outFolder, found, highest, problem)) {
    err << "kitpack: " << problem << "; give the serial with --serial N\n";
    return kExitErrors;
  }
  if (found && highest >= kSerialMax) {
    err << "kitpack: the manifests in " << outFolder << " already carry the highest serial, " << kSerialMax << "\n";
    return kExitErrors;
  }
  serial = found ? highest + 1 : 1;
  return kExitClean;
}

// With a key pinned, kitfetcher loads the removal library only when the
// description pins its digest too.
int CheckRemovalLibrary(const BuildOptions& options, const TrustPin& trust, std::ostream& err) {
  if (options.programFiles.empty()) return kExitClean;
  fs::path library = fs::path(options.programFiles) / "wipekit.dll";
  std::error_code ec;
  if (!fs::is_regular_file(library, ec)) return kExitClean;
  std::string digest;
  uint64_t size = 0;
  if (!FileSha256Hex(library.string(), digest, size)) {
    err << "kitpack: cannot read " << library.string() << "\n";
    return kExitUnreadable;
  }
  if (trust.removalLibrary.empty()) {
    err << "kitpack: warning: the offline package ships wipekit.dll, but <trust> (line " << trust.line
        << ") pins no removalLibrary: kitfetcher will never load it. Pin it with removalLibrary=\"" << digest
        << "\"\n";
    return kExitWarnings;
  }
  if (trust.removalLibrary != digest) {
    err << "kitpack: " << library.string() << " has the SHA-256 " << digest << ", not the removalLibrary "
        << trust.removalLibrary << " that <trust> (line " << trust.line
        << ") pins: kitfetcher would refuse to load it\n";
    return kExitErrors;
  }
  return kExitClean;
}

}  // namespace

std::map<std::string, ManifestPlace> ServerManifestPlaces(const LocationsCheck& check,
                                                         const std::vector<std::string>& languages,
                                                         std::vector<std::string>& problems) {
  std::map<std::string, ManifestPlace> places;
  for (Arch arch : {Arch::kX86, Arch::kX64}) {
    const KitView& view = check.View(arch);
    if (view.stop == ReadStop::kNoBaseUrl) continue;
    for (const std::string& language : languages) {
      std::string manifestPath = ServerPath(view.baseUrl, language, {kManifestName}, problems);
      if (manifestPath.empty()) continue;
      ManifestPlace& place = places[manifestPath];
      place.manifestPath = manifestPath;
      place.signaturePath = ServerPath(view.baseUrl, language, {kSignatureName}, problems);
      place.productCodePath = ServerPath(view.baseUrl, language, {kProductCodeName}, problems);
      for (const KitFile& file : view.files) {
        const std::string& templ = file.baseUrl.empty() ? view.baseUrl : file.baseUrl;
        std::string at = ServerPath(templ, language, EntryComponents(file.relativePath, file.name), problems);
        if (!at.empty()) place.files[EntryKey(file.relativePath, file.name)].insert(at);
      }
    }
  }
  return places;
}

ManifestPlace OfflineManifestPlace(const LocationsCheck& check) {
  ManifestPlace place;
  place.manifestPath = kManifestName;
  place.signaturePath = kSignatureName;
  place.productCodePath = kProductCodeName;
  for (Arch arch : {Arch::kX86, Arch::kX64}) {
    const KitView& view = check.View(arch);
    if (view.stop == ReadStop::kNoBaseUrl) continue;
    for (const KitFile& file : view.files) {
      std::string at = (file.relativePath.empty() ? "" : file.relativePath + "/") + file.name;
      place.files[EntryKey(file.relativePath, file.name)].insert(at);
    }
  }
  return place;
}

bool ReadUpTo(const std::string& path, size_t limit, std::string& bytes) {
  bytes.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  char buffer[1 << 16];
  while (in && bytes.size() <= limit) {
    in.read(buffer, static_cast<std::streamsize>(std::min(sizeof buffer, limit + 1 - bytes.size())));
    bytes.append(buffer, static_cast<size_t>(in.gcount()));
  }
  return !in.bad();
}

bool LanguageOfPath(const std::string& baseUrl, const std::string& path, std::string& language) {
  std::vector<std::string> ignored;
  if (ServerPath(baseUrl, std::string(), {kProductCodeName}, ignored) == path) {
    language.clear();
    return true;
  }
  // A character no language holds marks the language's place in the path.
  const std::string marker = "\x01";
  std::string marked = ServerPath(baseUrl, marker, {kProductCodeName}, ignored);
  size_t at = marked.find(marker);
  if (at == std::string::npos) return false;
  std::string before = marked.substr(0, at), after = marked.substr(at + marker.size());
  if (path.size() <= before.size() + after.size() || path.compare(0, before.size(), before) != 0 ||
      path.compare(path.size() - after.size(), after.size(), after) != 0) {
    return false;
  }
  language = path.substr(before.size(), path.size() - before.size() - after.size());
  return CheckFolderName(language).verdict == NameVerdict::kPlain &&
         ServerPath(baseUrl, language, {kProductCodeName}, ignored) == path;
}

int PlanSignedManifests(const BuildOptions& options, const LocationsCheck& check,
                        const std::vector<std::string>& languages, const std::string& kitFolder,
                        const std::string& outFolder, TreePlan& server, TreePlan& offline, std::ostream& out,
                        std::ostream& err) {
  const TrustPin& trust = check.trust;
  if (options.signKey.empty()) {
    if (!trust.present) return kExitClean;
    err << "kitpack: the description pins a key (<trust> on line " << trust.line
        << "), so kitfetcher refuses unsigned kits: sign with --sign KEY.pem\n";
    return kExitErrors;
  }
  if (!trust.present) {
    err << "kitpack: --sign, but the description pins no key, so kitfetcher would never check the signature: paste "
           "the <trust> element that kitpack keygen printed into <locations>\n";
    return kExitErrors;
  }
  SigningKey key;
  std::string why;
  SigningKey::LoadResult loaded = key.Load(options.signKey, why);
  if (loaded != SigningKey::kLoaded) {
    err << "kitpack: --sign " << options.signKey << " " << why << "\n";
    return loaded == SigningKey::kUnreadable ? kExitUnreadable : kExitErrors;
  }
  std::string blob = key.PublicBlob();
  if (!trust.Pins(blob)) {
    err << "kitpack: the key in " << options.signKey << " (fingerprint " << KeyFingerprint(blob)
        << ") is neither key nor key2 of <trust> (line " << trust.line << "): kitfetcher would refuse its kits\n";
    return kExitErrors;
  }
  uint64_t serial = 0;
  int chosen = ChooseSerial(options, outFolder, serial, err);
  if (chosen != kExitClean) return chosen;
  if (serial < trust.minSerial) {
    err << "kitpack: the serial " << serial << " is below the minSerial " << trust.minSerial << " of <trust> (line "
        << trust.line << "): kitfetcher would refuse the kit; give --serial " << trust.minSerial << " or more\n";
    return kExitErrors;
  }
  int result = CheckRemovalLibrary(options, trust, err);
  if (result >= kExitErrors) return result;

  std::vector<std::string> problems;
  std::map<std::string, ManifestPlace> places = ServerManifestPlaces(check, languages, problems);
  std::vector<std::pair<TreePlan*, ManifestPlace>> all;
  for (const auto& place : places) all.push_back({&server, place.second});
  all.push_back({&offline, OfflineManifestPlace(check)});
  std::map<EntryKey, ManifestLine> lines;  // one digest per kit file, whatever the places
  std::map<std::string, PlannedFile> planned[2];
  for (const auto& target : all) {
    Manifest manifest;
    manifest.product = options.productCode;
    manifest.serial = serial;
    for (const auto& file : target.second.files) {
      auto known = lines.find(file.first);
      if (known == lines.end()) {
        ManifestLine line;
        line.relativePath = file.first.first;
        line.name = file.first.second;
        fs::path source = fs::path(kitFolder) / line.relativePath / line.name;
        if (!FileSha256Hex(source.string(), line.sha256, line.size)) {
          problems.push_back("cannot read the kit file " + source.string());
          continue;
        }
        known = lines.emplace(file.first, line).first;
      }
      manifest.files.push_back(known->second);
    }
    std::string text = FormatManifest(manifest, why);
    std::string signature;
    if (text.empty()) {
      problems.push_back("cannot write " + target.second.manifestPath + ": " + why);
    } else if (!key.Sign(text, signature)) {
      problems.push_back("OpenSSL cannot sign " + target.second.manifestPath);
    }
    TreePlan& plan = *target.first;
    for (const std::string& path : {target.second.manifestPath, target.second.signaturePath}) {
      if (plan.count(path)) problems.push_back("a kit file lies at " + path + ", where the signed manifest goes");
    }
    planned[target.first == &offline][target.second.manifestPath] = PlannedFile{std::string(), text};
    planned[target.first == &offline][target.second.signaturePath] = PlannedFile{std::string(), signature};
  }
  for (const std::string& problem : problems) err << "kitpack: " << problem << "\n";
  if (!problems.empty()) return kExitErrors;
  server.insert(planned[0].begin(), planned[0].end());
  offline.insert(planned[1].begin(), planned[1].end());
  out << "signed " << all.size() << " manifests, serial " << serial << ", with the " << key.Bits()
      << "-bit key of fingerprint " << KeyFingerprint(blob) << "\n";
  return result;
}

}  // namespace kitpack
