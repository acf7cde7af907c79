#include "manifest_verify.h"

#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "findings.h"
#include "kit_signing.h"
#include "locations_check.h"
#include "manifest_text.h"
#include "manifest_writer.h"
#include "md5_digest.h"
#include "text_units.h"

namespace fs = std::filesystem;

namespace kitpack {

namespace {

const char kProductCodeName[] = "productcode.txt";

std::string Leaf(const std::string& relative) { return relative.substr(relative.rfind('/') + 1); }

std::string Folder(const std::string& relative) {
  size_t slash = relative.rfind('/');
  return slash == std::string::npos ? std::string() : relative.substr(0, slash + 1);
}

class ManifestVerifier {
 public:
  ManifestVerifier(const std::string& folder, const LocationsCheck& check, std::ostream& err)
      : folder_(folder), check_(check), err_(err) {}

  bool List() {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->is_regular_file()) files_.insert(fs::relative(it->path(), folder_, ec).generic_string());
    }
    if (ec) err_ << "kitpack: cannot read " << folder_ << ": " << ec.message() << "\n";
    return !ec;
  }

  int Run(const std::string& locationsPath, std::ostream& out) {
    const TrustPin& trust = check_.trust;
    std::map<std::string, ManifestPlace> places = Places(locationsPath);
    if (trust.present && places.empty()) {
      Problem("", "nothing here lies where the layout puts a productcode.txt for this description; give a laid-out "
                  "server/ or offline/ folder");
    }
    for (const std::string& file : files_) {
      if (Leaf(file) == kManifestName && !places.count(file)) Problem(file, "a manifest where the layout puts none");
    }
    for (const auto& entry : places) {
      const ManifestPlace& place = entry.second;
      if (!files_.count(place.manifestPath)) {
        if (trust.present) Problem(place.manifestPath, "missing: the description pins a key, so kitfetcher refuses "
                                                       "the kit without its manifest");
        continue;
      }
      if (!trust.present) {
        Problem(place.manifestPath, "the description pins no key, so nothing can check this manifest and kitfetcher "
                                    "never reads it");
        continue;
      }
      VerifyPlace(place);
      ++manifests_;
    }
    out << manifests_ << " manifests checked (" << listed_ << " listed files), " << problems_ << " problems\n";
    if (problems_) return kExitErrors;
    return warnings_ ? kExitWarnings : kExitClean;
  }

 private:
  void Problem(const std::string& file, const std::string& text) {
    err_ << folder_ << (file.empty() ? "" : "/" + file) << ": " << text << "\n";
    ++problems_;
  }

  std::map<std::string, ManifestPlace> Places(const std::string& locationsPath) {
    std::map<std::string, ManifestPlace> places;
    if (files_.count("locations.xml")) {
      ComparePackage(locationsPath);
      places[kManifestName] = OfflineManifestPlace(check_);
      return places;
    }
    // The languages a build laid out, told by where its product codes lie.
    std::set<std::string> languages;
    for (const std::string& file : files_) {
      if (Leaf(file) != kProductCodeName && Leaf(file) != kManifestName) continue;
      for (Arch arch : {Arch::kX86, Arch::kX64}) {
        std::string language;
        const KitView& view = check_.View(arch);
        if (view.stop != ReadStop::kNoBaseUrl &&
            LanguageOfPath(view.baseUrl, Folder(file) + kProductCodeName, language)) {
          languages.insert(language);
        }
      }
    }
    std::vector<std::string> ignored;
    places = ServerManifestPlaces(check_, std::vector<std::string>(languages.begin(), languages.end()), ignored);
    for (auto it = places.begin(); it != places.end();) {
      bool laidOut = files_.count(it->second.productCodePath) || files_.count(it->second.manifestPath);
      it = laidOut ? std::next(it) : places.erase(it);
    }
    return places;
  }

  // An offline package pins what its own locations.xml says, and loads the
  // removal library only when that pins its digest.
  void ComparePackage(const std::string& locationsPath) {
    std::string ours, given;
    if (!ReadUpTo((fs::path(folder_) / "locations.xml").string(), 64 << 20, ours) ||
        !ReadUpTo(locationsPath, 64 << 20, given) || ours != given) {
      Problem("locations.xml", "differs from " + locationsPath + ", and kitfetcher goes by the package's own");
    }
    const TrustPin& trust = check_.trust;
    if (!trust.present || !files_.count("wipekit.dll")) return;
    std::string digest;
    uint64_t size = 0;
    if (!FileSha256Hex((fs::path(folder_) / "wipekit.dll").string(), digest, size)) {
      Problem("wipekit.dll", "cannot be read");
    } else if (trust.removalLibrary.empty()) {
      err_ << folder_ << "/wipekit.dll: warning: <trust> pins no removalLibrary, so kitfetcher never loads it\n";
      ++warnings_;
    } else if (digest != trust.removalLibrary) {
      Problem("wipekit.dll", "its SHA-256 " + digest + " is not the removalLibrary " + trust.removalLibrary +
                                 " that <trust> pins: kitfetcher refuses to load it");
    }
  }

  void VerifyPlace(const ManifestPlace& place) {
    const TrustPin& trust = check_.trust;
    const fs::path root(folder_);
    std::string text, signature, productCode;
    Manifest manifest;
    std::string why;
    if (!ReadUpTo((root / place.manifestPath).string(), kManifestMaxBytes, text)) why = "it cannot be read";
    else why = ParseManifest(text, manifest);
    if (!why.empty()) {
      Problem(place.manifestPath, "not a valid manifest: " + why);
      return;
    }
    if (!files_.count(place.signaturePath) || !ReadUpTo((root / place.signaturePath).string(), 64 << 10, signature)) {
      Problem(place.signaturePath, "missing or unreadable: kitfetcher refuses the kit");
    } else {
      bool verified = false;
      for (const TrustKey& key : trust.keys) verified = verified || VerifyWithBlob(key.blob, text, signature);
      if (!verified) Problem(place.signaturePath, "the signature does not verify under key or key2 of <trust>");
    }
    if (manifest.serial < trust.minSerial) {
      Problem(place.manifestPath, "the serial " + std::to_string(manifest.serial) + " is below the minSerial " +
                                      std::to_string(trust.minSerial) + " of <trust>");
    }
    if (!ReadUpTo((root / place.productCodePath).string(), 4096, productCode) ||
        TrimXmlBlanks(productCode) != manifest.product) {
      Problem(place.manifestPath, "the product \"" + manifest.product + "\" is not what " + place.productCodePath +
                                      " holds");
    }
    std::set<EntryKey> seen;
    for (const ManifestLine& line : manifest.files) {
      EntryKey key(line.relativePath, line.name);
      seen.insert(key);
      auto expected = place.files.find(key);
      std::string shown = (line.relativePath.empty() ? "" : line.relativePath + "/") + line.name;
      if (expected == place.files.end()) {
        Problem(place.manifestPath, "lists " + shown + ", which the description does not list for this folder");
        continue;
      }
      for (const std::string& at : expected->second) CheckFile(at, line);
    }
    for (const auto& expected : place.files) {
      if (seen.count(expected.first)) continue;
      std::string shown = (expected.first.first.empty() ? "" : expected.first.first + "/") + expected.first.second;
      Problem(place.manifestPath, "does not list " + shown + ": kitfetcher would never place it");
    }
  }

  void CheckFile(const std::string& at, const ManifestLine& line) {
    ++listed_;
    std::string digest;
    uint64_t size = 0;
    if (!files_.count(at) || !FileSha256Hex((fs::path(folder_) / at).string(), digest, size)) {
      Problem(at, "listed in a manifest, but missing or unreadable");
    } else if (size != line.size || digest != line.sha256) {
      Problem(at, "the manifest says " + std::to_string(line.size) + " bytes with SHA-256 " + line.sha256 +
                      "; the file has " + std::to_string(size) + " bytes with SHA-256 " + digest);
    }
  }

  std::string folder_;
  const LocationsCheck& check_;
  std::ostream& err_;
  std::set<std::string> files_;
  int manifests_ = 0;
  int listed_ = 0;
  int problems_ = 0;
  int warnings_ = 0;
};

}  // namespace

int RunManifestVerify(const std::string& folder, const std::string& locationsPath, std::ostream& out,
                      std::ostream& err) {
  LocationsCheck check = CheckLocationsFile(locationsPath);
  if (!check.readable || check.findings.HasErrors()) {
    check.findings.Print(err, locationsPath);
    err << "kitpack: " << locationsPath << (check.readable ? " has errors" : " cannot be read")
        << "; nothing is checked against it\n";
    return check.readable ? kExitErrors : kExitUnreadable;
  }
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    err << "kitpack: " << folder << " is no folder\n";
    return kExitUnreadable;
  }
  ManifestVerifier verifier(folder, check, err);
  if (!verifier.List()) return kExitUnreadable;
  return verifier.Run(locationsPath, out);
}

}  // namespace kitpack
