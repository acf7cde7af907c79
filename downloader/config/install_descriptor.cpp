#include "downloader/config/install_descriptor.h"

#include <shlwapi.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "common/wide_format.h"
#include "downloader/config/xml_dom.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"
#include "downloader/services/texts.h"

namespace {

using xmldom::AttributeMapPtr;
using xmldom::NodePtr;

// One store row of the string table: "prefix|template".
struct StoreRow {
  wchar_t text[kTextChars];
  const wchar_t* prefix;
  const wchar_t* urlTemplate;
};

// False for a missing row, a row without "|", or one with an empty side.
bool LoadStoreRow(UINT id, StoreRow& row) {
  LoadedText loaded = LoadText(id);
  qn::CopyText(row.text, kTextChars, loaded);
  wchar_t* bar = wcschr(row.text, L'|');
  if (!bar) return false;
  *bar = L'\0';
  row.prefix = row.text;
  row.urlTemplate = bar + 1;
  return row.prefix[0] != L'\0' && row.urlTemplate[0] != L'\0';
}

// The store link for one row when the parent program's path (extension
// removed) carries the row's marker; the affiliate code runs from the marker to
// the end of that path. Returns false when the marker is not there; a link too
// long to keep is dropped, but the row still counts as the matching one.
bool MatchStoreRow(const StoreRow& row, const wchar_t* itemText) {
  wchar_t parentPath[kPathChars];
  if (!qn::CopyText(parentPath, kPathChars, g_setup.parentProcessPath)) return false;
  PathRemoveExtensionW(parentPath);
  const wchar_t* marker = wcsstr(parentPath, row.prefix);
  if (!marker) return false;
  const wchar_t* affiliateCode = marker + wcslen(row.prefix);

  // The template comes from a resource: it is filled by placeholder only, and
  // an item of "0" means the store's link takes the affiliate code alone.
  const wchar_t* itemAndCode[2] = {itemText, affiliateCode};
  const wchar_t* codeOnly[1] = {affiliateCode};
  bool codeAlone = wcscmp(itemText, L"0") == 0;
  wchar_t link[kPathChars];
  if (!qn::FormatPlaceholders(link, kPathChars, row.urlTemplate, codeAlone ? codeOnly : itemAndCode,
                              codeAlone ? 1 : 2)) {
    WriteLog(L"[SETUP] Buy link for store marker %s dropped: longer than %d characters", row.prefix,
             static_cast<int>(kPathChars - 1));
    return true;
  }
  qn::CopyText(g_setup.buyLink, kPathChars, link);
  g_setup.hasBuyLink = true;
  WriteLog(L"[SETUP] Buy Link (affiliate): %s", g_setup.buyLink);
  return true;
}

// Sets the attribute's text only where the item already has that attribute; a
// text the DOM refuses is passed over.
void SetExistingAttribute(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, const wchar_t* value) {
  NodePtr attribute;
  if (xmldom::GetAttribute(attributes, name, attribute)) static_cast<void>(xmldom::WriteText(attribute.Get(), value));
}

}  // namespace

void BuildBuyLink() {
  wchar_t contactsPath[kLongPathChars];
  if (!qn::JoinPath(contactsPath, kLongPathChars, g_setup.programFolder, L"contacts.xml")) return;
  qn::ScopedCoInit com;
  xmldom::DocumentPtr doc;
  if (!xmldom::OpenDocument(contactsPath, doc)) return;
  NodePtr items;
  if (!xmldom::SelectNode(doc.Get(), L"//contacttool/contacts/def_items", items)) return;
  NodePtr child;
  if (!xmldom::FirstChild(items.Get(), child)) return;

  // Each child (comments too) stands for the store row of the same position.
  UINT rowId = IDS_STORE_ROW_FIRST;
  do {
    qn::ScopedBstr itemText;
    if (!xmldom::ReadText(child.Get(), itemText)) continue;
    StoreRow row;
    // The first row whose marker is in the path decides.
    if (LoadStoreRow(rowId, row) && MatchStoreRow(row, itemText.Text())) return;
    ++rowId;
  } while (xmldom::MoveToNextSibling(child));
}

void MarkItemsLocal(const wchar_t* descriptorPath) {
  qn::ScopedCoInit com;
  xmldom::DocumentPtr doc;
  if (!xmldom::OpenDocument(descriptorPath, doc)) return;
  NodePtr items;
  if (!xmldom::SelectNode(doc.Get(), L"//install/items", items)) return;
  NodePtr child;
  if (!xmldom::FirstChild(items.Get(), child)) return;
  do {
    AttributeMapPtr attributes;
    if (!xmldom::GetAttributes(child.Get(), attributes)) continue;
    SetExistingAttribute(attributes.Get(), L"update", L"0");
    SetExistingAttribute(attributes.Get(), L"uselocal", L"1");
  } while (xmldom::MoveToNextSibling(child));
  // The caller goes on either way; a descriptor that cannot be saved stays as it was.
  static_cast<void>(xmldom::SaveDocument(doc.Get(), descriptorPath));
}

namespace {

using xmldom::NodePtr;

// A node to create is named from a copy of its path of this size.
constexpr size_t kCreatablePathChars = 100;

bool IsValid(const XmlPatch& patch) {
  return patch.path.IsPresent() && patch.path.Get()[0] != L'\0' && patch.newValue.IsPresent() &&
         patch.newValue.Get()[0] != L'\0';
}

// An element name the saved document can be read back with: a letter or "_"
// first, then letters, digits, "_", "-" or ".". Checked here because not every
// DOM refuses a name such as "bad name", and the installer could then no
// longer read its descriptor.
bool IsElementName(const wchar_t* name) {
  if (!name[0]) return false;
  for (size_t i = 0; name[i]; ++i) {
    wchar_t c = name[i];
    bool letter = (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_' ||
                  (c >= 0xC0 && c != 0xD7 && c != 0xF7);
    bool inner = (c >= L'0' && c <= L'9') || c == L'-' || c == L'.';
    if (!letter && !(i > 0 && inner)) return false;
  }
  return true;
}

// Adds the element named by the last step of the path under the parent the
// rest of the path selects. A path without a parent to split off, a missing
// parent or an unusable name leave the document as it is.
void CreateNode(IXMLDOMDocument* doc, const XmlPatch& patch) {
  qn::FixedString<kCreatablePathChars> parentPath;
  if (!parentPath.Assign(patch.path.Get())) {
    WriteLog(L"[KITFETCHER] Node path too long to create: %s", patch.path.Get());
    return;
  }
  wchar_t* lastSlash = wcsrchr(parentPath.data(), L'/');
  if (!lastSlash || lastSlash == parentPath.data()) return;
  qn::FixedString<kCreatablePathChars> name(lastSlash + 1);
  *lastSlash = L'\0';
  if (!IsElementName(name)) return;

  NodePtr parent;
  if (!xmldom::SelectNode(doc, parentPath, parent)) return;
  NodePtr element;
  if (!xmldom::CreateElement(doc, name, element)) return;
  if (!xmldom::WriteText(element.Get(), patch.newValue.Get())) return;
  NodePtr appended;
  parent->appendChild(element.Get(), appended.Receive());
}

void ApplyPatch(IXMLDOMDocument* doc, const XmlPatch& patch) {
  WriteLog(L"[KITFETCHER] Found valid patch: node <%s> value <%s>", patch.path.Get(), patch.newValue.Get());
  NodePtr node;
  if (xmldom::SelectNode(doc, patch.path.Get(), node)) {
    // Replaces the node's whole content, child elements included, by the text;
    // a text the DOM refuses is passed over.
    static_cast<void>(xmldom::WriteText(node.Get(), patch.newValue.Get()));
    return;
  }
  if (!patch.createIfMissing) {
    WriteLog(L"[KITFETCHER] Cannot access node %s", patch.path.Get());
    return;
  }
  CreateNode(doc, patch);
}

}  // namespace

void ApplyXmlPatches(const wchar_t* filePath, const XmlPatchList& kitPatches, const XmlPatchList& runPatches) {
  WriteLog(L"[KITFETCHER] Applying xmlpatches on file %s", filePath);
  qn::ScopedCoInit com;
  xmldom::DocumentPtr doc;
  if (!xmldom::CreateDocument(doc)) return;
  if (!xmldom::LoadDocument(doc.Get(), filePath)) {
    WriteLog(L"[KITFETCHER] Cannot load xml %s", filePath);
    return;
  }
  const XmlPatchList* lists[] = {&kitPatches, &runPatches};
  for (size_t list = 0; list < 2; ++list) {
    for (size_t i = 0; i < lists[list]->size(); ++i) {
      const XmlPatch& patch = (*lists[list])[i];
      if (IsValid(patch)) ApplyPatch(doc.Get(), patch);
    }
  }
  // The step goes on whatever the save answers: the installer runs anyway.
  static_cast<void>(xmldom::SaveDocument(doc.Get(), filePath));
}
