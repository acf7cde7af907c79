// The file and patch entries: which ones kitfetcher drops or skips, and what
// it makes of the ones it keeps.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "folder_names.h"
#include "kit_url.h"
#include "locations_check.h"
#include "locations_reading.h"
#include "text_units.h"

namespace kitpack {

namespace {

const size_t kPathMaxUnits = 259;
const std::vector<std::string> kFileAttributes = {"name", "relative_path", "autorun", "base_url"};
const std::vector<std::string> kPatchAttributes = {"path", "new_val"};

// Reports a dropped entry; true when the entry carries every attribute.
bool CheckAttributes(const XmlSource& source, const pugi::xml_node& entry, const std::vector<std::string>& required,
                     const std::string& what, Findings& findings) {
  std::string missing;
  for (const std::string& name : required) {
    if (!entry.attribute(name.c_str())) missing += (missing.empty() ? "" : ", ") + name;
  }
  for (pugi::xml_attribute attribute : entry.attributes()) {
    bool known = false;
    for (const std::string& name : required) known = known || name == attribute.name();
    if (!known) {
      findings.Warning(source.LineOf(entry), std::string("kitfetcher does not read the attribute ") + attribute.name() +
                                                 " of a " + what);
    }
  }
  if (missing.empty()) return true;
  std::string all;
  for (const std::string& name : required) all += (all.empty() ? "" : ", ") + name;
  findings.Error(source.LineOf(entry), "kitfetcher drops this " + what + ": it lacks " + missing + " (it needs " + all +
                                           "; write an empty value for none)");
  return false;
}

void CheckStrayText(const XmlSource& source, const pugi::xml_node& list, Findings& findings) {
  for (pugi::xml_node child : list.children()) {
    std::string text = child.value();
    if ((child.type() != pugi::node_pcdata && child.type() != pugi::node_cdata) || TrimXmlBlanks(text).empty()) continue;
    // The node starts at the blanks before the text; the line is the text's own.
    std::string blanks = text.substr(0, text.find_first_not_of(" \t\r\n"));
    int line = source.LineOf(child) + static_cast<int>(std::count(blanks.begin(), blanks.end(), '\n'));
    findings.Warning(line, "text inside <" + std::string(list.name()) + "> is no entry; it is ignored");
  }
}

void CheckEntryNames(const XmlSource& source, const pugi::xml_node& entry, Findings& findings) {
  int line = source.LineOf(entry);
  std::string name = entry.attribute("name").value();
  std::string relative = entry.attribute("relative_path").value();
  std::vector<std::pair<std::string, std::string>> parts = {{"name", name}};
  if (!relative.empty()) parts.push_back({"relative_path", relative});
  bool refused = false;
  for (const auto& part : parts) {
    NameCheck check = CheckFolderName(part.second);
    if (check.verdict == NameVerdict::kRefused) {
      findings.Error(line, part.first + " \"" + part.second + "\" " + check.reason + ": kitfetcher skips this entry");
      refused = true;
    } else if (check.verdict == NameVerdict::kStripped) {
      findings.Warning(line, part.first + " \"" + part.second + "\" " + check.reason);
    }
  }
  if (refused) return;
  std::string md5Name = name + ".md5";
  if (CheckFolderName(md5Name).verdict == NameVerdict::kRefused) {
    findings.Error(line, "the token's name \"" + md5Name + "\" " + CheckFolderName(md5Name).reason +
                             ": kitfetcher skips this entry");
  }
  std::string path = relative.empty() ? md5Name : relative + "\\" + md5Name;
  if (Utf16Units(path) > kPathMaxUnits) {
    findings.Error(line, "the path \"" + path + "\" is over 259 characters even before the setup folder's own: "
                                                "kitfetcher cannot place this file");
  }
}

void CheckAutorun(const XmlSource& source, const pugi::xml_node& entry, Findings& findings) {
  std::string text = entry.attribute("autorun").value();
  if (text == "true" || text == "false") return;
  std::string sentence = "autorun=\"" + text + "\" reads as false: kitfetcher runs a file only for exactly \"true\"";
  if (MeansYes(text)) findings.Error(source.LineOf(entry), sentence);
  else findings.Warning(source.LineOf(entry), sentence);
}

// When an offline package updates from the server, kitfetcher takes the files
// that are not autorun from the package's top folder, whatever their
// relative_path says.
void CheckUpdateCopy(const XmlSource& source, const pugi::xml_node& entry, Findings& findings) {
  std::string relative = entry.attribute("relative_path").value();
  if (relative.empty() || std::string(entry.attribute("autorun").value()) == "true") return;
  findings.Warning(source.LineOf(entry), "when an offline package updates from the server, kitfetcher looks for this "
                                         "file (not autorun) at the package's top, not in \"" + relative +
                                             "\", and leaves it out");
}

void CheckOwnTemplate(const XmlSource& source, const pugi::xml_node& entry, Findings& findings) {
  std::string templ = entry.attribute("base_url").value();
  std::string problem = templ.empty() ? std::string() : LanguageSlotProblem(templ);
  if (!problem.empty()) findings.Error(source.LineOf(entry), "base_url \"" + templ + "\" " + problem);
}

// The URLs kitfetcher composes for one kind of Windows must fit its buffers.
void CheckUrls(const KitView& view, Arch arch, const XmlSource& source, Findings& findings) {
  if (view.stop == ReadStop::kNoBaseUrl) return;
  std::string productCodeUrl = ComposeKitUrl(view.baseUrl, view.language, {"productcode.txt"});
  if (Utf16Units(productCodeUrl) > kUrlMaxUnits) {
    findings.Error(source.LineOf(SelectFirst(source.Document(), BaseUrlPath(arch).c_str())),
                   "the URL of productcode.txt is over 259 characters: kitfetcher cannot download it on " +
                       std::string(ArchWindows(arch)));
  }
  for (const KitFile& file : view.files) {
    const std::string& templ = file.baseUrl.empty() ? view.baseUrl : file.baseUrl;
    for (const std::string& leaf : {file.name, file.Md5Name()}) {
      std::string url = ComposeKitUrl(templ, view.language, EntryComponents(file.relativePath, leaf));
      if (Utf16Units(url) > kUrlMaxUnits) {
        findings.Error(file.line, "the URL of " + leaf + " (" + std::to_string(Utf16Units(url)) +
                                      " characters) is over 259: kitfetcher cannot download it");
      }
    }
  }
}

std::string EntryKey(const pugi::xml_node& entry) {
  return std::string(entry.attribute("relative_path").value()) + "/" + entry.attribute("name").value();
}

void CheckFileList(const XmlSource& source, Arch arch, Findings& findings) {
  pugi::xml_node list = SelectFirst(source.Document(), FileListPath(arch).c_str());
  if (!list) return;
  CheckStrayText(source, list, findings);
  std::set<std::string> seen;
  for (pugi::xml_node entry : list.children()) {
    if (entry.type() != pugi::node_element) continue;
    if (!CheckAttributes(source, entry, kFileAttributes, "file entry", findings)) continue;
    CheckEntryNames(source, entry, findings);
    CheckAutorun(source, entry, findings);
    CheckUpdateCopy(source, entry, findings);
    CheckOwnTemplate(source, entry, findings);
    if (!seen.insert(EntryKey(entry)).second) {
      findings.Warning(source.LineOf(entry), std::string("this file is listed twice for ") + ArchName(arch) +
                                                 ": kitfetcher fetches it twice into the same place");
    }
  }
}

// Entries of one branch that the other branch lacks, when both list files.
void CheckBothBranches(const XmlSource& source, Findings& findings) {
  pugi::xml_node lists[2] = {SelectFirst(source.Document(), FileListPath(Arch::kX86).c_str()),
                             SelectFirst(source.Document(), FileListPath(Arch::kX64).c_str())};
  if (!lists[0] || !lists[1]) return;
  std::set<std::string> keys[2];
  for (int i = 0; i < 2; ++i) {
    for (pugi::xml_node entry : lists[i].children()) {
      if (entry.type() == pugi::node_element) keys[i].insert(EntryKey(entry));
    }
  }
  if (keys[0].empty() || keys[1].empty()) return;
  for (int i = 0; i < 2; ++i) {
    for (pugi::xml_node entry : lists[i].children()) {
      if (entry.type() != pugi::node_element || keys[1 - i].count(EntryKey(entry))) continue;
      findings.Warning(source.LineOf(entry), std::string(entry.attribute("name").value()) + " is listed for " +
                                                 (i == 0 ? "x86 only" : "x64 only"));
    }
  }
}

void CheckPatchList(const XmlSource& source, Findings& findings) {
  pugi::xml_node list = SelectFirst(source.Document(), kPatchListPath);
  if (!list) return;
  CheckStrayText(source, list, findings);
  for (pugi::xml_node entry : list.children()) {
    if (entry.type() == pugi::node_element) CheckAttributes(source, entry, kPatchAttributes, "patch", findings);
  }
}

}  // namespace

void CheckEntries(const XmlSource& source, const LocationsCheck& check, Findings& findings) {
  for (Arch arch : {Arch::kX86, Arch::kX64}) {
    CheckFileList(source, arch, findings);
    CheckUrls(check.View(arch), arch, source, findings);
  }
  CheckBothBranches(source, findings);
  CheckPatchList(source, findings);
}

}  // namespace kitpack
