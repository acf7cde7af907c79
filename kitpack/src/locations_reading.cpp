#include "locations_reading.h"

#include <climits>

#include "text_units.h"

namespace kitpack {

const char kPatchListPath[] = "//locations/modifies";
const char kRequirementsPath[] = "//systemRequirements";

std::string BaseUrlPath(Arch arch) { return std::string("//locations/") + ArchName(arch) + "/base_url"; }
std::string FileListPath(Arch arch) { return std::string("//locations/") + ArchName(arch) + "/downloadable_files"; }

std::string ElementText(const pugi::xml_node& element) {
  std::string text;
  pugi::xml_node node = element.first_child();
  while (node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) text += node.value();
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && node != element && !node.next_sibling()) node = node.parent();
    if (!node || node == element) break;
    node = node.next_sibling();
  }
  return TrimXmlBlanks(text);
}

int ReadDecimal(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return value > INT_MAX ? INT_MIN : -static_cast<int>(value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

pugi::xml_node SelectFirst(const pugi::xml_node& from, const char* path) {
  return from.select_node(path).node();
}

namespace {

// A name field takes the text only when it fits; otherwise it keeps its value.
void ReadName(const pugi::xml_node& root, const char* path, std::string& field) {
  pugi::xml_node node = SelectFirst(root, path);
  if (!node) return;
  std::string text = ElementText(node);
  if (Utf16Units(text) <= kNameMaxUnits) field = text;
}

// Flags only ever turn off: any text but exactly "1" does it.
void ReadFlag(const pugi::xml_node& root, const char* path, bool& flag) {
  pugi::xml_node node = SelectFirst(root, path);
  if (node && ElementText(node) != "1") flag = false;
}

// Hands each child of the list to readEntry; false when the list has none.
template <class ReadEntry>
bool ReadChildren(const pugi::xml_node& list, ReadEntry readEntry) {
  if (!list.first_child()) return false;
  for (pugi::xml_node child : list.children()) {
    if (child.type() == pugi::node_element) readEntry(child);
  }
  return true;
}

void ReadRequirement(const pugi::xml_node& element, const char* name, int& field) {
  pugi::xml_attribute attribute = element.attribute(name);
  if (!attribute || Utf16Units(attribute.value()) > kRequirementMaxUnits) return;
  field = ReadDecimal(attribute.value());
}

}  // namespace

KitView ReadKitView(const XmlSource& source, Arch arch) {
  KitView view;
  const pugi::xml_document& root = source.Document();
  pugi::xml_node baseUrl = SelectFirst(root, BaseUrlPath(arch).c_str());
  if (!baseUrl || ElementText(baseUrl).empty()) {
    view.stop = ReadStop::kNoBaseUrl;
    return view;
  }
  view.baseUrl = ElementText(baseUrl);
  ReadName(root, "//locations/manufacturerName", view.manufacturerName);
  ReadName(root, "//locations/defaultProductName", view.defaultProductName);
  ReadName(root, "//locations/language", view.language);
  view.language = AsciiLower(view.language);
  ReadFlag(root, "//locations/ShowNewFilesPrompt", view.showNewFilesPrompt);
  ReadFlag(root, "//locations/DefaultNewFilesAnswer", view.defaultNewFilesAnswer);

  pugi::xml_node files = SelectFirst(root, FileListPath(arch).c_str());
  if (files) {
    bool any = ReadChildren(files, [&](const pugi::xml_node& entry) {
      pugi::xml_attribute name = entry.attribute("name");
      pugi::xml_attribute relativePath = entry.attribute("relative_path");
      pugi::xml_attribute autorun = entry.attribute("autorun");
      pugi::xml_attribute ownBaseUrl = entry.attribute("base_url");
      if (!name || !relativePath || !autorun || !ownBaseUrl) return;
      KitFile file;
      file.name = name.value();
      file.relativePath = relativePath.value();
      file.autorun = std::string(autorun.value()) == "true";
      file.baseUrl = ownBaseUrl.value();
      file.line = source.LineOf(entry);
      view.files.push_back(file);
    });
    if (!any) {
      view.stop = ReadStop::kEmptyFileList;
      return view;
    }
  }

  pugi::xml_node patches = SelectFirst(root, kPatchListPath);
  if (!patches) {
    view.stop = ReadStop::kNoPatchList;
    return view;
  }
  bool any = ReadChildren(patches, [&](const pugi::xml_node& entry) {
    pugi::xml_attribute path = entry.attribute("path");
    pugi::xml_attribute newValue = entry.attribute("new_val");
    if (path && newValue) view.patches.push_back(KitPatch{path.value(), newValue.value(), source.LineOf(entry)});
  });
  if (!any) {
    view.stop = ReadStop::kEmptyPatchList;
    return view;
  }

  pugi::xml_node requirements = SelectFirst(root, kRequirementsPath);
  if (!requirements) {
    view.stop = ReadStop::kNoRequirements;
    return view;
  }
  ReadRequirement(requirements, "cpuFreqMHz", view.cpuFreqMHz);
  ReadRequirement(requirements, "hddMBytes", view.hddMBytes);
  ReadRequirement(requirements, "ramMBytes", view.ramMBytes);
  return view;
}

}  // namespace kitpack
