#include "downloader/config/xml_patches.h"

#include <wchar.h>

#include "common/fixed_string.h"
#include "downloader/config/xml_dom.h"
#include "downloader/services/diagnostic_log.h"

namespace {

using xmldom::NodePtr;

// A node to create is named from a copy of its path of this size.
const size_t kCreatablePathChars = 100;

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
  if (xmldom::SelectNode(doc, parentPath, parent) != S_OK) return;
  NodePtr element;
  if (xmldom::CreateElement(doc, name, element) != S_OK) return;
  if (xmldom::WriteText(element.Get(), patch.newValue.Get()) != S_OK) return;
  NodePtr appended;
  parent->appendChild(element.Get(), appended.Receive());
}

void ApplyPatch(IXMLDOMDocument* doc, const XmlPatch& patch) {
  WriteLog(L"[KITFETCHER] Found valid patch: node <%s> value <%s>", patch.path.Get(), patch.newValue.Get());
  NodePtr node;
  if (xmldom::SelectNode(doc, patch.path.Get(), node) == S_OK) {
    // Replaces the node's whole content, child elements included, by the text.
    xmldom::WriteText(node.Get(), patch.newValue.Get());
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
  if (xmldom::CreateDocument(doc) != S_OK) return;
  if (xmldom::LoadDocument(doc.Get(), filePath) != S_OK) {
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
  xmldom::SaveDocument(doc.Get(), filePath);
}
