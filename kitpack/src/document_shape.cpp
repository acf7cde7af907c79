// Elements kitfetcher never looks at: misspelt or misplaced ones, and second
// copies of elements of which it reads only the first.
#include <string>
#include <vector>

#include "locations_check.h"
#include "locations_reading.h"
#include "text_units.h"

namespace kitpack {

namespace {

const std::vector<std::string> kTopLevel = {"x86", "x64", "manufacturerName", "defaultProductName", "language",
                                            "ShowNewFilesPrompt", "DefaultNewFilesAnswer", "modifies",
                                            "systemRequirements", "trust"};
const std::vector<std::string> kBranch = {"base_url", "downloadable_files", "systemRequirements"};

// Paths of which the reader takes the first match only.
const char* const kSingles[] = {"//locations/x86/base_url", "//locations/x64/base_url",
                                "//locations/x86/downloadable_files", "//locations/x64/downloadable_files",
                                "//locations/manufacturerName", "//locations/defaultProductName",
                                "//locations/language", "//locations/ShowNewFilesPrompt",
                                "//locations/DefaultNewFilesAnswer", "//locations/modifies", "//systemRequirements"};

void CheckChildren(const XmlSource& source, const pugi::xml_node& parent, const std::vector<std::string>& known,
                   Findings& findings) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() != pugi::node_element) continue;
    std::string name = child.name();
    bool isKnown = false;
    std::string nearMiss;
    for (const std::string& k : known) {
      if (name == k) isKnown = true;
      else if (EqualsIgnoringCase(name, k)) nearMiss = k;
    }
    if (isKnown) continue;
    int line = source.LineOf(child);
    if (!nearMiss.empty()) {
      findings.Error(line, "kitfetcher reads <" + nearMiss + ">, and letter case matters: this <" + name +
                               "> is ignored");
    } else {
      findings.Warning(line, "kitfetcher does not read <" + name + "> inside <" + parent.name() + ">; it is ignored");
    }
  }
}

}  // namespace

void CheckDocumentShape(const XmlSource& source, Findings& findings) {
  const pugi::xml_document& doc = source.Document();
  pugi::xpath_node_set locations = doc.select_nodes("//locations");
  if (locations.empty()) {
    pugi::xml_node root = doc.document_element();
    std::string text = "there is no <locations> element: kitfetcher reads nothing of this document";
    if (EqualsIgnoringCase(root.name(), "locations")) text += " (letter case matters: <" + std::string(root.name()) + ">)";
    findings.Error(source.LineOf(root), text);
    return;
  }
  for (const pugi::xpath_node& l : locations) {
    CheckChildren(source, l.node(), kTopLevel, findings);
    for (pugi::xml_node branch : l.node().children()) {
      std::string name = branch.name();
      if (name == "x86" || name == "x64") CheckChildren(source, branch, kBranch, findings);
    }
  }
  for (const char* path : kSingles) {
    pugi::xpath_node_set all = doc.select_nodes(path);
    if (all.size() < 2) continue;
    all.sort();
    int firstLine = source.LineOf(all.first().node());
    for (size_t i = 1; i < all.size(); ++i) {
      pugi::xml_node node = all[i].node();
      findings.Error(source.LineOf(node), "a second <" + std::string(node.name()) + ">: kitfetcher reads only the one on line " +
                                              std::to_string(firstLine) + " and ignores this one");
    }
  }
}

}  // namespace kitpack
