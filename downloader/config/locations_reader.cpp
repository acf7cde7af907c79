#include "downloader/config/locations_reader.h"

#include <stdlib.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "downloader/config/xml_dom.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

namespace {

using xmldom::AttributeMapPtr;
using xmldom::NodePtr;

// A requirement value has at most 19 characters; a longer one is not a number
// the kit meant.
constexpr size_t kRequirementChars = 20;

// The text of the node at xpath; false when there is no such node or its text
// cannot be read.
bool ReadSelectedText(IXMLDOMNode* root, const wchar_t* xpath, qn::ScopedBstr& text) {
  NodePtr node;
  return xmldom::SelectNode(root, xpath, node) && xmldom::ReadText(node.Get(), text);
}

// Copies the node's text into a name field; a text too long for the field
// leaves the field as it was.
void ReadName(IXMLDOMNode* root, const wchar_t* xpath, wchar_t* field) {
  qn::ScopedBstr text;
  if (ReadSelectedText(root, xpath, text)) qn::CopyText(field, kNameChars, text.Text());
}

// The flags only ever turn off: anything but exactly "1" does it.
void ReadFlag(IXMLDOMNode* root, const wchar_t* xpath, bool& flag) {
  qn::ScopedBstr text;
  if (ReadSelectedText(root, xpath, text) && wcscmp(text.Text(), L"1") != 0) flag = false;
}

// Appends the child as a file entry when it carries all four attributes. False
// only when memory ran out, which ends the reading.
bool ReadFileEntry(IXMLDOMNode* child, LocationsConfig& config) {
  AttributeMapPtr attributes;
  if (!xmldom::GetAttributes(child, attributes)) return true;
  qn::ScopedBstr name, relativePath, autorun, baseUrl;
  if (!xmldom::ReadAttributeText(attributes.Get(), L"name", name)) return true;
  if (!xmldom::ReadAttributeText(attributes.Get(), L"relative_path", relativePath)) return true;
  if (!xmldom::ReadAttributeText(attributes.Get(), L"autorun", autorun)) return true;
  if (!xmldom::ReadAttributeText(attributes.Get(), L"base_url", baseUrl)) return true;
  DownloadableFile file;
  file.autorun = wcscmp(autorun.Text(), L"true") == 0;
  return file.name.Set(name.Text()) && file.md5Name.Set(name.Text()) && file.md5Name.Append(L".md5") &&
         (relativePath.Text()[0] == L'\0' || file.relativePath.Set(relativePath.Text())) &&
         (baseUrl.Text()[0] == L'\0' || file.baseUrl.Set(baseUrl.Text())) &&
         config.downloadableFiles.push_back(static_cast<DownloadableFile&&>(file));
}

// Appends the child as a patch entry when it carries a path and a value; false
// only when memory ran out.
bool ReadPatchEntry(IXMLDOMNode* child, LocationsConfig& config) {
  AttributeMapPtr attributes;
  if (!xmldom::GetAttributes(child, attributes)) return true;
  qn::ScopedBstr path, newValue;
  if (!xmldom::ReadAttributeText(attributes.Get(), L"path", path)) return true;
  if (!xmldom::ReadAttributeText(attributes.Get(), L"new_val", newValue)) return true;
  XmlPatch patch;
  return patch.path.Set(path.Text()) && patch.newValue.Set(newValue.Text()) &&
         config.xmlPatches.push_back(static_cast<XmlPatch&&>(patch));
}

enum ListOutcome { kListMissing, kListWithoutChildren, kListRead, kListOutOfMemory };

// Hands every child of the element at xpath to readEntry, in document order.
ListOutcome ReadList(IXMLDOMNode* root, const wchar_t* xpath, bool (*readEntry)(IXMLDOMNode*, LocationsConfig&),
                     LocationsConfig& config) {
  NodePtr parent;
  if (!xmldom::SelectNode(root, xpath, parent)) return kListMissing;
  NodePtr child;
  if (!xmldom::FirstChild(parent.Get(), child)) return kListWithoutChildren;
  do {
    if (!readEntry(child.Get(), config)) return kListOutOfMemory;
  } while (xmldom::MoveToNextSibling(child));
  return kListRead;
}

// Decimal with leading blanks and a sign; digits up to the first other
// character; no digits reads 0.
void ReadRequirement(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, int& field) {
  qn::ScopedBstr text;
  if (!xmldom::ReadAttributeText(attributes, name, text)) return;
  wchar_t value[kRequirementChars];
  if (!qn::CopyText(value, kRequirementChars, text.Text())) return;
  field = static_cast<int>(wcstol(value, nullptr, 10));
}

void ReadRequirements(IXMLDOMNode* root, LocationsConfig& config) {
  NodePtr requirements;
  if (!xmldom::SelectNode(root, L"//systemRequirements", requirements)) return;
  AttributeMapPtr attributes;
  if (!xmldom::GetAttributes(requirements.Get(), attributes)) return;
  ReadRequirement(attributes.Get(), L"cpuFreqMHz", config.cpuFreqMHz);
  ReadRequirement(attributes.Get(), L"hddMBytes", config.hddMBytes);
  ReadRequirement(attributes.Get(), L"ramMBytes", config.ramMBytes);
}

// A serial as kitpack writes it: decimal digits without sign or leading zero,
// at most 4294967295.
bool ReadSerial(const wchar_t* text, uint32_t* serial) {
  size_t length = wcslen(text);
  if (length == 0 || length > 10 || (length > 1 && text[0] == L'0')) return false;
  unsigned long long value = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - L'0');
  }
  if (value > 0xFFFFFFFFull) return false;
  *serial = static_cast<uint32_t>(value);
  return true;
}

// The keys and rules of the trust element; the name of the first attribute
// that cannot be used, or null. Anything wrong leaves no key, so that the pin
// holds and no kit passes it.
const wchar_t* ReadTrustAttributes(IXMLDOMNode* element, KitTrust& trust) {
  AttributeMapPtr attributes;
  if (!xmldom::GetAttributes(element, attributes)) return L"key";
  qn::ScopedBstr text;
  if (!xmldom::ReadAttributeText(attributes.Get(), L"key", text) || !ReadPublicKey(text.Text(), &trust.keys[0]))
    return L"key";
  size_t keys = 1;
  if (xmldom::ReadAttributeText(attributes.Get(), L"key2", text)) {
    if (!ReadPublicKey(text.Text(), &trust.keys[1])) return L"key2";
    keys = 2;
  }
  if (xmldom::ReadAttributeText(attributes.Get(), L"minSerial", text) && !ReadSerial(text.Text(), &trust.minSerial))
    return L"minSerial";
  if (xmldom::ReadAttributeText(attributes.Get(), L"removalLibrary", text)) {
    if (!HexToDigest(text.Text(), trust.libraryHash)) return L"removalLibrary";
    trust.hasLibraryHash = true;
  }
  trust.keyCount = keys;
  return nullptr;
}

// Read before anything else, so that no stop of the reading can skip it. A
// trust element out of place or twice pins trust with no key.
void ReadTrust(IXMLDOMNode* root, KitTrust& trust) {
  long count = 0;
  qn::Result counted = xmldom::CountNodes(root, L"//trust", &count);
  if (counted && count == 0) return;
  trust.pinned = true;
  NodePtr element;
  const wchar_t* unusable = L"place";
  if (counted && count == 1 && xmldom::SelectNode(root, L"//locations/trust", element))
    unusable = ReadTrustAttributes(element.Get(), trust);
  if (unusable) {
    trust.keyCount = 0;
    trust.hasLibraryHash = false;
    WriteLog(L"[KITFETCHER] Trust element unusable (%s); no kit is taken", unusable);
    return;
  }
  WriteLog(L"[KITFETCHER] Kits must be signed: %u key(s), serial %lu on", static_cast<unsigned>(trust.keyCount),
           static_cast<unsigned long>(trust.minSerial));
}

// The document's sections in reading order; each stop leaves the rest at its
// defaults. False when memory ran out on the way.
bool ReadSections(IXMLDOMNode* root, LocationsConfig& config, bool x64) {
  ReadTrust(root, config.trust);
  qn::ScopedBstr baseUrl;
  if (!ReadSelectedText(root, x64 ? L"//locations/x64/base_url" : L"//locations/x86/base_url", baseUrl) ||
      baseUrl.Text()[0] == L'\0') {
    return true;
  }
  if (!config.baseUrl.Set(baseUrl.Text())) return false;

  ReadName(root, L"//locations/manufacturerName", config.manufacturerName);
  ReadName(root, L"//locations/defaultProductName", config.defaultProductName);
  wchar_t language[kNameChars];
  language[0] = L'\0';
  ReadName(root, L"//locations/language", language);
  if (language[0] != L'\0') {
    CharLowerBuffW(language, static_cast<DWORD>(wcslen(language)));
    qn::CopyText(config.language, kNameChars, language);
  }
  ReadFlag(root, L"//locations/ShowNewFilesPrompt", config.showNewFilesPrompt);
  ReadFlag(root, L"//locations/DefaultNewFilesAnswer", config.defaultNewFilesAnswer);

  // A kit without files for this architecture still has its patches and
  // requirements read; an empty file list ends the reading.
  const wchar_t* files = x64 ? L"//locations/x64/downloadable_files" : L"//locations/x86/downloadable_files";
  ListOutcome outcome = ReadList(root, files, ReadFileEntry, config);
  if (outcome == kListOutOfMemory) return false;
  if (outcome == kListWithoutChildren) return true;
  outcome = ReadList(root, L"//locations/modifies", ReadPatchEntry, config);
  if (outcome != kListRead) return outcome != kListOutOfMemory;

  ReadRequirements(root, config);
  return true;
}

}  // namespace

qn::Result ReadLocations(const wchar_t* path) {
  qn::ScopedCoInit com;
  xmldom::DocumentPtr doc;
  qn::Result opened = xmldom::OpenDocument(path, doc);
  if (!opened) return opened;
  return ReadSections(doc.Get(), g_setup.locations, g_setup.isWow64) ? qn::Result::Ok() : qn::Result(qn::kNoMemory);
}
