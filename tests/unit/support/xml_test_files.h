// File times, and a DOM reader for checking documents after a patch: what the
// tests of the XML readers and patchers share besides scratch folders and the
// captured log.
#pragma once
#include <windows.h>

#include <string>

#include "downloader/config/xml_dom.h"

namespace kittest {

// Last-write time as a 64-bit count, 0 when the file is missing.
inline ULONGLONG LastWriteTime(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Puts the file's last-write time far in the past, so that any rewrite shows.
inline void AgeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  SYSTEMTIME old = {2001, 1, 0, 1, 12, 0, 0, 0};
  FILETIME stamp;
  SystemTimeToFileTime(&old, &stamp);
  SetFileTime(file, NULL, NULL, &stamp);
  CloseHandle(file);
}

// Reads a document back through the DOM, for checks after a patch.
class Document {
 public:
  // Checks are written in XPath, not in the DOM's default pattern language.
  explicit Document(const std::wstring& path) : com_() {
    if (!xmldom::OpenDocument(path.c_str(), doc_)) return;
    qn::ComPtr<IXMLDOMDocument2> doc2;
    const IID iidDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
    if (SUCCEEDED(doc_->QueryInterface(iidDocument2, doc2.ReceiveVoid())) && !doc2.IsNull()) {
      qn::ScopedBstr name(L"SelectionLanguage");
      qn::ScopedVariant value(L"XPath");
      doc2->setProperty(name.Get(), value.Get());
    }
  }
  bool Loaded() const { return !doc_.IsNull(); }
  // Number of nodes the path selects.
  long Count(const wchar_t* xpath) const {
    if (doc_.IsNull()) return -1;
    qn::ComPtr<IXMLDOMNodeList> list;
    qn::ScopedBstr query(xpath);
    long length = -1;
    if (doc_->selectNodes(query.Get(), list.Receive()) == S_OK) list->get_length(&length);
    return length;
  }
  // Text of the first node the path selects; "<none>" when nothing matches.
  std::wstring Text(const wchar_t* xpath) const {
    if (doc_.IsNull()) return L"<none>";
    xmldom::NodePtr node;
    qn::ScopedBstr text;
    if (!xmldom::SelectNode(doc_.Get(), xpath, node) || !xmldom::ReadText(node.Get(), text)) {
      return L"<none>";
    }
    return text.Text();
  }

 private:
  qn::ScopedCoInit com_;
  xmldom::DocumentPtr doc_;
};

}  // namespace kittest
