#include "kit_layout.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "findings.h"
#include "folder_names.h"
#include "kit_url.h"
#include "locations_check.h"
#include "manifest_writer.h"
#include "md5_digest.h"
#include "text_units.h"
#include "tree_writer.h"
#include "ui_library.h"

namespace fs = std::filesystem;

namespace kitpack {

const char* const kProgramFiles[5] = {"kitfetcher.exe", "kitstarter.exe", "kitfetcher.ui", "contacts.xml",
                                      "wipekit.dll"};

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsInside(const fs::path& inner, const fs::path& outer) {
  auto o = outer.begin();
  auto i = inner.begin();
  for (; o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

// Both plans, the kit files they need, and whatever stops the build.
struct Layout {
  TreePlan server;
  TreePlan offline;
  std::map<std::string, std::string> tokens;  // kit file -> its token
  std::vector<std::string> problems;
};

void Plan(Layout& layout, TreePlan& plan, const std::string& path, const PlannedFile& file) {
  auto found = plan.find(path);
  if (found == plan.end()) {
    plan[path] = file;
  } else if (found->second.source != file.source || found->second.bytes != file.bytes) {
    layout.problems.push_back("two different files would lie at " + path);
  }
}

// One kit file's place (and its token's) on the server for one language.
void PlanServerFile(Layout& layout, const std::string& url, const PlannedFile& file) {
  std::string path, why;
  if (!ServerPathOf(url, path, why)) {
    layout.problems.push_back("cannot lay out " + url + ": " + why);
    return;
  }
  Plan(layout, layout.server, path, file);
}

}  // namespace

bool ServerPathOf(const std::string& url, std::string& path, std::string& why) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) {
    why = "it is no URL with a host";
    return false;
  }
  size_t start = url.find('/', scheme + 3);
  std::string raw = start == std::string::npos ? std::string() : url.substr(start);
  if (raw.find_first_of("?#") != std::string::npos) {
    why = "it has a query or a fragment, which no folder serves";
    return false;
  }
  std::string decoded;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '%' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 && HexValue(raw[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2]));
      i += 2;
    } else {
      decoded += raw[i];
    }
  }
  path.clear();
  size_t from = 0;
  while (from <= decoded.size()) {
    size_t to = decoded.find('/', from);
    if (to == std::string::npos) to = decoded.size();
    std::string part = decoded.substr(from, to - from);
    from = to + 1;
    if (part.empty()) continue;
    if (part == "." || part == ".." || part.find('\\') != std::string::npos || part.find('\0') != std::string::npos) {
      why = "its path holds \"" + part + "\"";
      return false;
    }
    path += (path.empty() ? "" : "/") + part;
  }
  if (path.empty()) {
    why = "it names no file";
    return false;
  }
  return true;
}

std::string ProductCodeProblem(const std::string& code) {
  if (code.empty()) return "is empty";
  if (code.size() > 99) return "is over kitfetcher's 99 characters";
  for (unsigned char c : code) {
    if (c <= ' ' || c >= 0x7F) return "holds a blank or a character outside printable ASCII, which kitfetcher cannot read back";
  }
  NameCheck name = CheckFolderName(code);
  if (name.verdict != NameVerdict::kPlain) return name.reason + ": it cannot name the kit's local setup folder";
  return std::string();
}

int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err) {
  LocationsCheck check = CheckLocationsFile(options.locationsPath);
  check.findings.Print(err, options.locationsPath);
  if (!check.readable) return kExitUnreadable;
  if (check.findings.HasErrors()) {
    err << "kitpack: " << options.locationsPath << " has errors; nothing laid out\n";
    return kExitErrors;
  }
  std::string codeProblem = ProductCodeProblem(options.productCode);
  if (!codeProblem.empty()) {
    err << "kitpack: the product code \"" << options.productCode << "\" " << codeProblem << "\n";
    return kExitErrors;
  }
  std::error_code ec;
  fs::path kit = fs::weakly_canonical(options.kitFolder, ec);
  if (ec || !fs::is_directory(kit)) {
    err << "kitpack: " << options.kitFolder << " is no folder\n";
    return kExitUnreadable;
  }
  fs::path outFolder = fs::weakly_canonical(fs::absolute(options.outFolder), ec);
  if (ec || IsInside(outFolder, kit) || IsInside(kit, outFolder)) {
    err << "kitpack: --out " << options.outFolder << " must lie outside --kit " << options.kitFolder
        << " and hold no part of it\n";
    return kExitErrors;
  }

  std::vector<std::string> languages;
  for (const std::string& given : options.languages) languages.push_back(AsciiLower(given));
  const KitView& anyView = check.x86.stop != ReadStop::kNoBaseUrl ? check.x86 : check.x64;
  if (languages.empty()) languages.push_back(anyView.language);
  for (const std::string& language : languages) {
    if (!language.empty() && CheckFolderName(language).verdict != NameVerdict::kPlain) {
      err << "kitpack: the language \"" << language << "\" " << CheckFolderName(language).reason << "\n";
      return kExitErrors;
    }
  }

  std::string uiLibrary;
  int ui = ChooseUiLibrary(options.uiTexts, anyView.language, out, err, uiLibrary);
  if (ui >= kExitErrors) return ui;

  Layout layout;
  PlannedFile productCode{std::string(), options.productCode + "\n"};
  for (Arch arch : {Arch::kX86, Arch::kX64}) {
    const KitView& view = check.View(arch);
    if (view.stop == ReadStop::kNoBaseUrl) continue;
    for (const KitFile& file : view.files) {
      std::string relative = (file.relativePath.empty() ? "" : file.relativePath + "/") + file.name;
      fs::path source = kit / fs::path(relative);
      if (!layout.tokens.count(relative)) {
        std::string token;
        if (!fs::is_regular_file(source) || !FileMd5Hex(source.string(), token)) {
          layout.problems.push_back("the kit file " + relative + " is missing from " + options.kitFolder);
          layout.tokens[relative] = std::string();
          continue;
        }
        layout.tokens[relative] = token;
      }
      PlannedFile content{source.string(), std::string()};
      PlannedFile token{std::string(), layout.tokens[relative]};
      Plan(layout, layout.offline, relative, content);
      Plan(layout, layout.offline, relative + ".md5", token);
      const std::string& templ = file.baseUrl.empty() ? view.baseUrl : file.baseUrl;
      for (const std::string& language : languages) {
        PlanServerFile(layout, ComposeKitUrl(templ, language, EntryComponents(file.relativePath, file.name)), content);
        PlanServerFile(layout, ComposeKitUrl(templ, language, EntryComponents(file.relativePath, file.Md5Name())), token);
      }
    }
    for (const std::string& language : languages) {
      PlanServerFile(layout, ComposeKitUrl(view.baseUrl, language, {"productcode.txt"}), productCode);
    }
  }
  Plan(layout, layout.offline, "productcode.txt", productCode);
  Plan(layout, layout.offline, "locations.xml", PlannedFile{fs::absolute(options.locationsPath).string(), std::string()});
  if (!options.programFiles.empty()) {
    int found = 0;
    for (const char* name : kProgramFiles) {
      fs::path source = fs::path(options.programFiles) / name;
      if (!fs::is_regular_file(source)) continue;
      if (!uiLibrary.empty() && source.filename() == "kitfetcher.ui") {
        ++found;  // the translation given with --ui takes its place
        continue;
      }
      Plan(layout, layout.offline, name, PlannedFile{source.string(), std::string()});
      ++found;
    }
    if (found == 0) layout.problems.push_back(options.programFiles + " holds none of the program files");
  }
  if (!uiLibrary.empty()) Plan(layout, layout.offline, "kitfetcher.ui", PlannedFile{std::string(), uiLibrary});
  for (const std::string& problem : layout.problems) err << "kitpack: " << problem << "\n";
  if (!layout.problems.empty()) return kExitErrors;
  int signing = PlanSignedManifests(options, check, languages, kit.string(), outFolder.string(), layout.server,
                                    layout.offline, out, err);
  if (signing >= kExitErrors) return signing;

  if (!WriteTree((outFolder / "server").string(), layout.server, err) ||
      !WriteTree((outFolder / "offline").string(), layout.offline, err)) {
    return kExitErrors;
  }
  if (!layout.offline.count("kitfetcher.exe")) {
    out << "note: offline/ holds no kitfetcher.exe; give the program files with --program-files to ship it\n";
  }
  out << "laid out " << layout.tokens.size() << " kit files: " << layout.server.size() << " files in "
      << (outFolder / "server").string() << ", " << layout.offline.size() << " in " << (outFolder / "offline").string()
      << "\n";
  return std::max(std::max(check.findings.ExitCode(), signing), ui);
}

}  // namespace kitpack
