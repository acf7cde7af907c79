#include "downloader/config/install_descriptor.h"

#include <shlwapi.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "common/path_join.h"
#include "common/wide_format.h"
#include "downloader/config/xml_dom.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/load_text.h"
#include "downloader/services/setup_state.h"
#include "downloader/services/text_ids.h"

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

// Sets the attribute's text only where the item already has that attribute.
void SetExistingAttribute(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, const wchar_t* value) {
  NodePtr attribute;
  if (xmldom::GetAttribute(attributes, name, attribute) == S_OK)
    xmldom::WriteText(attribute.Get(), value);
}

}  // namespace

void BuildBuyLink() {
  wchar_t contactsPath[kLongPathChars];
  if (!qn::JoinPath(contactsPath, kLongPathChars, g_setup.programFolder, L"contacts.xml")) return;
  qn::ScopedCoInit com;
  xmldom::DocumentPtr doc;
  if (xmldom::OpenDocument(contactsPath, doc) != S_OK) return;
  NodePtr items;
  if (xmldom::SelectNode(doc.Get(), L"//contacttool/contacts/def_items", items) != S_OK) return;
  NodePtr child;
  if (xmldom::FirstChild(items.Get(), child) != S_OK) return;

  // Each child (comments too) stands for the store row of the same position.
  UINT rowId = IDS_STORE_ROW_FIRST;
  do {
    qn::ScopedBstr itemText;
    if (xmldom::ReadText(child.Get(), itemText) != S_OK) continue;
    StoreRow row;
    // The first row whose marker is in the path decides.
    if (LoadStoreRow(rowId, row) && MatchStoreRow(row, itemText.Text())) return;
    ++rowId;
  } while (xmldom::MoveToNextSibling(child) == S_OK);
}

void MarkItemsLocal(const wchar_t* descriptorPath) {
  qn::ScopedCoInit com;
  xmldom::DocumentPtr doc;
  if (xmldom::OpenDocument(descriptorPath, doc) != S_OK) return;
  NodePtr items;
  if (xmldom::SelectNode(doc.Get(), L"//install/items", items) != S_OK) return;
  NodePtr child;
  if (xmldom::FirstChild(items.Get(), child) != S_OK) return;
  do {
    AttributeMapPtr attributes;
    if (xmldom::GetAttributes(child.Get(), attributes) != S_OK) continue;
    SetExistingAttribute(attributes.Get(), L"update", L"0");
    SetExistingAttribute(attributes.Get(), L"uselocal", L"1");
  } while (xmldom::MoveToNextSibling(child) == S_OK);
  xmldom::SaveDocument(doc.Get(), descriptorPath);
}
