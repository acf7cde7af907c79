#include "downloader/config/xml_dom.h"

#include <wchar.h>
#include <string.h>

#include "common/file_bytes.h"
#include "downloader/services/diagnostic_log.h"

namespace xmldom {

namespace {

// The MSXML 3.0 document class and its document interface; defined here
// because not every SDK's import libraries carry them.
const CLSID kClsidDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const IID kIidXmlDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// The documents come from the package and from the server, and the program
// runs with full rights: a document loads at once, fetches nothing it names and
// validates nothing. Refusing document types outright is a property not every
// parser takes, and one parser was seen to take it and ignore it; LoadDocument
// refuses them by itself either way, and refuses every document it cannot
// vouch for, whatever the parser answered here.
qn::Result Harden(IXMLDOMDocument* doc) {
  HRESULT hr = doc->put_async(VARIANT_FALSE);
  if (SUCCEEDED(hr)) hr = doc->put_resolveExternals(VARIANT_FALSE);
  if (SUCCEEDED(hr)) hr = doc->put_validateOnParse(VARIANT_FALSE);
  if (FAILED(hr)) return LogFailure(qn::Result(hr), L"[KITFETCHER] Cannot set up an XML document");
  qn::ComPtr<IXMLDOMDocument2> doc2;
  HRESULT prohibited = doc->QueryInterface(kIidXmlDomDocument2, doc2.ReceiveVoid());
  if (SUCCEEDED(prohibited) && !doc2.IsNull()) {
    qn::ScopedBstr name(L"ProhibitDTD");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = VARIANT_TRUE;
    prohibited = doc2->setProperty(name.Get(), value);
  }
  if (FAILED(prohibited)) {
    WriteLog(L"[KITFETCHER] The XML parser does not take ProhibitDTD (error 0x%08lx)",
             static_cast<unsigned long>(prohibited));
  }
  return qn::Result::Ok();
}

// S_OK only together with an object: a success without one counts as "nothing"
// (S_FALSE), and anything but S_OK leaves the owner empty.
template <class Owner>
qn::Result Settle(HRESULT hr, Owner& owner) {
  if (hr == S_OK && owner.Get() == nullptr) hr = S_FALSE;
  if (hr != S_OK) owner.Reset();
  return qn::Result(hr);
}

// Wine's MSXML crashes on a malformed selection pattern where Windows refuses
// it. The common slips are refused here before the DOM sees them: a pattern
// that ends in a step separator, an "@", an operator or a blank, a step that
// starts with a digit, an empty predicate, or a bracket, parenthesis or quote
// left open.
bool IsCompletePattern(const wchar_t* pattern) {
  size_t length = wcslen(pattern);
  if (length == 0) return false;
  wchar_t last = pattern[length - 1];
  if (wcschr(L"/@[(|=!<>, \t\r\n", last) && !(length == 1 && last == L'/')) return false;
  int brackets = 0;
  int parentheses = 0;
  wchar_t quote = 0;
  for (const wchar_t* p = pattern; *p; ++p) {
    if (quote) {
      if (*p == quote) quote = 0;
    } else if (*p == L'/' && p[1] >= L'0' && p[1] <= L'9' && brackets == 0) {
      return false;  // a step cannot start with a digit
    } else if (*p == L'[' && p[1] == L']') {
      return false;
    } else if (*p == L'\'' || *p == L'"') {
      quote = *p;
    } else if (*p == L'[') {
      ++brackets;
    } else if (*p == L']') {
      if (--brackets < 0) return false;
    } else if (*p == L'(') {
      ++parentheses;
    } else if (*p == L')') {
      if (--parentheses < 0) return false;
    }
  }
  return quote == 0 && brackets == 0 && parentheses == 0;
}

}  // namespace

qn::Result CreateDocument(DocumentPtr& doc) {
  HRESULT hr = CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument,
                                doc.ReceiveVoid());
  if (SUCCEEDED(hr) && doc.IsNull()) hr = E_NOINTERFACE;
  qn::Result result = SUCCEEDED(hr) ? Harden(doc.Get()) : qn::Result(hr);
  if (!result) doc.Reset();
  return result;
}

qn::Result LoadDocument(IXMLDOMDocument* doc, const wchar_t* path) {
  if (!doc || !path) return qn::Result(E_INVALIDARG);
  // The file is read once: the parser gets the very bytes that were scanned,
  // so a file changed in between cannot slip a document type past the scan.
  // A file that shrinks while it is read is taken as far as it goes: the
  // checks below and the parser see the same bytes either way.
  qn::FileBytes bytes;
  qn::Result read = bytes.Read(path, kMaxDocumentBytes, qn::FileBytes::kOthersMayChange);
  if (read.Is(qn::kDoesNotFit)) {
    WriteLog(L"[KITFETCHER] %s is larger than %lu bytes; not read", path, static_cast<unsigned long>(kMaxDocumentBytes));
  }
  if (!read) return qn::Result(S_FALSE);
  DocumentTypeScan scan = ScanForDocumentType(bytes.Data(), bytes.Length());
  if (scan == kDeclaresDocumentType) WriteLog(L"[KITFETCHER] %s declares a document type; not read", path);
  if (scan == kEncodingNotScanned)
    WriteLog(L"[KITFETCHER] %s is in an encoding the document type check does not read; not read", path);
  if (scan != kNoDocumentType) return qn::Result(S_FALSE);
  qn::ComPtr<IStream> stream;
  HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Receive());
  if (SUCCEEDED(hr) && stream.IsNull()) hr = E_OUTOFMEMORY;
  ULONG written = 0;
  if (SUCCEEDED(hr)) hr = stream->Write(bytes.Data(), static_cast<ULONG>(bytes.Length()), &written);
  if (SUCCEEDED(hr) && written != bytes.Length()) hr = E_OUTOFMEMORY;
  LARGE_INTEGER origin;
  origin.QuadPart = 0;
  if (SUCCEEDED(hr)) hr = stream->Seek(origin, STREAM_SEEK_SET, nullptr);
  if (FAILED(hr)) return LogFailure(qn::Result(hr), L"[KITFETCHER] Cannot hand %s to the XML parser", path);
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream.Get();  // borrowed: the variant is not cleared
  VARIANT_BOOL loaded = VARIANT_FALSE;
  hr = doc->load(source, &loaded);
  if (hr == S_OK && loaded == VARIANT_TRUE) return qn::Result::Ok();
  return qn::Result(FAILED(hr) ? hr : S_FALSE);
}

qn::Result OpenDocument(const wchar_t* path, DocumentPtr& doc) {
  qn::Result result = CreateDocument(doc);
  if (result) result = LoadDocument(doc.Get(), path);
  if (!result) doc.Reset();
  return result;
}

qn::Result SaveDocument(IXMLDOMDocument* doc, const wchar_t* path) {
  if (!doc || !path) return qn::Result(E_INVALIDARG);
  qn::ScopedVariant target(path);
  return qn::Result(doc->save(target.Get()));
}

qn::Result SelectNode(IXMLDOMNode* from, const wchar_t* xpath, NodePtr& node) {
  node.Reset();
  if (!from || !xpath || !IsCompletePattern(xpath)) return qn::Result(E_INVALIDARG);
  qn::ScopedBstr query(xpath);
  HRESULT hr = from->selectSingleNode(query.Get(), node.Receive());
  return Settle(hr, node);
}

qn::Result CountNodes(IXMLDOMNode* from, const wchar_t* xpath, long* count) {
  *count = 0;
  if (!from || !xpath || !IsCompletePattern(xpath)) return qn::Result(E_INVALIDARG);
  qn::ScopedBstr query(xpath);
  qn::ComPtr<IXMLDOMNodeList> nodes;
  HRESULT hr = from->selectNodes(query.Get(), nodes.Receive());
  if (hr != S_OK || nodes.IsNull()) return qn::Result(FAILED(hr) ? hr : E_FAIL);
  return qn::Result(nodes->get_length(count));
}

qn::Result FirstChild(IXMLDOMNode* node, NodePtr& child) {
  child.Reset();
  if (!node) return qn::Result(E_INVALIDARG);
  HRESULT hr = node->get_firstChild(child.Receive());
  return Settle(hr, child);
}

qn::Result MoveToNextSibling(NodePtr& node) {
  if (node.IsNull()) return qn::Result(E_INVALIDARG);
  IXMLDOMNode* next = nullptr;
  HRESULT hr = node->get_nextSibling(&next);
  *node.Receive() = next;  // releases the current node
  return Settle(hr, node);
}

qn::Result ReadText(IXMLDOMNode* node, qn::ScopedBstr& text) {
  text.Reset();
  if (!node) return qn::Result(E_INVALIDARG);
  // An empty text may come back as a null string; it is still a text.
  HRESULT hr = node->get_text(text.Receive());
  if (hr != S_OK) text.Reset();
  return qn::Result(hr);
}

qn::Result WriteText(IXMLDOMNode* node, const wchar_t* text) {
  if (!node || !text) return qn::Result(E_INVALIDARG);
  qn::ScopedBstr value(text);
  if (!value.Get()) return qn::Result(qn::kNoMemory);
  return qn::Result(node->put_text(value.Get()));
}

qn::Result GetAttributes(IXMLDOMNode* node, AttributeMapPtr& attributes) {
  attributes.Reset();
  if (!node) return qn::Result(E_INVALIDARG);
  HRESULT hr = node->get_attributes(attributes.Receive());
  return Settle(hr, attributes);
}

qn::Result GetAttribute(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, NodePtr& attribute) {
  attribute.Reset();
  if (!attributes || !name) return qn::Result(E_INVALIDARG);
  qn::ScopedBstr attributeName(name);
  HRESULT hr = attributes->getNamedItem(attributeName.Get(), attribute.Receive());
  return Settle(hr, attribute);
}

qn::Result ReadAttributeText(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, qn::ScopedBstr& text) {
  text.Reset();
  NodePtr attribute;
  qn::Result found = GetAttribute(attributes, name, attribute);
  if (!found) return found;
  return ReadText(attribute.Get(), text);
}

qn::Result CreateElement(IXMLDOMDocument* doc, const wchar_t* name, NodePtr& element) {
  element.Reset();
  if (!doc || !name) return qn::Result(E_INVALIDARG);
  VARIANT type;
  VariantInit(&type);
  type.vt = VT_I4;
  type.lVal = NODE_ELEMENT;
  qn::ScopedBstr elementName(name);
  qn::ScopedBstr noNamespace(L"");
  HRESULT hr = doc->createNode(type, elementName.Get(), noNamespace.Get(), element.Receive());
  return Settle(hr, element);
}

}  // namespace xmldom

namespace {

const char kDeclaration[] = "<!DOCTYPE";
constexpr size_t kDeclarationChars = sizeof(kDeclaration) - 1;

// Bytes per character, and where in them the ASCII byte sits.
struct Layout {
  size_t width;
  size_t offset;
};
constexpr Layout kSingleBytes = {1, 0};
constexpr Layout kUtf16Le = {2, 0};
constexpr Layout kUtf16Be = {2, 1};
constexpr Layout kUcs4Le = {4, 0};  // 4321
constexpr Layout kUcs4Be = {4, 3};  // 1234
constexpr Layout kUcs4Odd2143 = {4, 2};
constexpr Layout kUcs4Odd3412 = {4, 1};
constexpr Layout kLayouts[] = {kSingleBytes, kUtf16Le, kUtf16Be, kUcs4Le, kUcs4Be, kUcs4Odd2143, kUcs4Odd3412};

bool Contains(const unsigned char* data, size_t size, const Layout& layout) {
  unsigned char pattern[kDeclarationChars * 4];
  size_t length = kDeclarationChars * layout.width;
  memset(pattern, 0, length);
  for (size_t i = 0; i < kDeclarationChars; ++i) {
    pattern[i * layout.width + layout.offset] = static_cast<unsigned char>(kDeclaration[i]);
  }
  if (size < length) return false;
  for (size_t at = 0; at + length <= size; ++at) {
    if (data[at] == pattern[0] && memcmp(data + at, pattern, length) == 0) return true;
  }
  return false;
}

// How a parser lays out the document's characters, from its byte-order mark
// or, without one, from its first bytes (the XML declaration's "<?").
struct Reading {
  bool scanned;
  Layout layout;
  size_t start;  // past the byte-order mark
};

Reading LayoutOf(const unsigned char* bytes, size_t size) {
  const struct {
    const char* first;
    size_t length;
    bool scanned;
    Layout layout;
    size_t mark;
  } kSignatures[] = {
      {"\xEF\xBB\xBF", 3, true, kSingleBytes, 3},
      {"\xFF\xFE\x00\x00", 4, true, kUcs4Le, 4},
      {"\x00\x00\xFE\xFF", 4, true, kUcs4Be, 4},
      {"\x00\x00\xFF\xFE", 4, true, kUcs4Odd2143, 4},
      {"\xFE\xFF\x00\x00", 4, true, kUcs4Odd3412, 4},
      {"\xFE\xFF", 2, true, kUtf16Be, 2},
      {"\xFF\xFE", 2, true, kUtf16Le, 2},
      {"+/v8", 4, false, kSingleBytes, 0},  // UTF-7
      {"+/v9", 4, false, kSingleBytes, 0},
      {"+/v+", 4, false, kSingleBytes, 0},
      {"+/v/", 4, false, kSingleBytes, 0},
      {"\x4C\x6F\xA7\x94", 4, false, kSingleBytes, 0},  // "<?xm" in EBCDIC
      {"\x00\x00\x00\x3C", 4, true, kUcs4Be, 0},
      {"\x3C\x00\x00\x00", 4, true, kUcs4Le, 0},
      {"\x00\x00\x3C\x00", 4, true, kUcs4Odd2143, 0},
      {"\x00\x3C\x00\x00", 4, true, kUcs4Odd3412, 0},
      {"\x00\x3C\x00\x3F", 4, true, kUtf16Be, 0},
      {"\x3C\x00\x3F\x00", 4, true, kUtf16Le, 0},
  };
  for (const auto& signature : kSignatures) {
    if (size >= signature.length && memcmp(bytes, signature.first, signature.length) == 0) {
      Reading reading = {signature.scanned, signature.layout, signature.mark};
      return reading;
    }
  }
  Reading reading = {true, kSingleBytes, 0};
  return reading;
}

// The document's first characters as long as they are ASCII, in its layout.
size_t AsciiStart(const unsigned char* bytes, size_t size, const Reading& reading, char* out, size_t capacity) {
  size_t count = 0;
  const size_t width = reading.layout.width;
  for (size_t at = reading.start; count + 1 < capacity && at + width <= size; at += width) {
    unsigned char ascii = bytes[at + reading.layout.offset];
    bool clean = ascii != 0 && ascii < 0x80;
    for (size_t b = 0; clean && b < width; ++b) clean = b == reading.layout.offset || bytes[at + b] == 0;
    if (!clean) break;
    out[count++] = static_cast<char>(ascii);
  }
  out[count] = '\0';
  return count;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The first `length` characters of both are the same, ASCII case aside.
bool SameStart(const char* text, const char* known, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (Lower(text[i]) != Lower(known[i])) return false;
  }
  return true;
}

bool SameName(const char* name, size_t length, const char* known) {
  return strlen(known) == length && SameStart(name, known, length);
}

// Where `part` first occurs in text[0, length), or null.
const char* Find(const char* text, size_t length, const char* part) {
  size_t partLength = strlen(part);
  for (size_t at = 0; at + partLength <= length; ++at) {
    if (memcmp(text + at, part, partLength) == 0) return text + at;
  }
  return nullptr;
}

bool HasDigitsOnly(const char* text, size_t length, size_t most) {
  if (length == 0 || length > most) return false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// Encodings in which every ASCII character is the one byte of the same value,
// so that the single-byte scan sees each declaration a parser would.
bool AsciiCompatible(const char* name, size_t length) {
  const char* const kNames[] = {"UTF-8", "US-ASCII", "ASCII", "Shift_JIS", "EUC-JP", "EUC-KR", "GB2312", "GBK",
                                "Big5"};
  for (const char* known : kNames) {
    if (SameName(name, length, known)) return true;
  }
  constexpr size_t kIsoChars = 9;  // "ISO-8859-"
  if (length > kIsoChars && SameStart(name, "ISO-8859-", kIsoChars))
    return HasDigitsOnly(name + kIsoChars, length - kIsoChars, 2);
  constexpr size_t kWindowsChars = 11;  // "windows-125"
  if (length > kWindowsChars && SameStart(name, "windows-125", kWindowsChars))
    return HasDigitsOnly(name + kWindowsChars, length - kWindowsChars, 1);
  return false;
}

bool WideNameFits(const char* name, size_t length, size_t width) {
  const char* const kUtf16[] = {"UTF-16", "UTF-16LE", "UTF-16BE", "UCS-2", "ISO-10646-UCS-2"};
  const char* const kUcs4[] = {"UCS-4", "ISO-10646-UCS-4", "UTF-32", "UTF-32LE", "UTF-32BE"};
  const char* const* names = width == 2 ? kUtf16 : kUcs4;
  for (size_t i = 0; i < 5; ++i) {
    if (SameName(name, length, names[i])) return true;
  }
  return false;
}

// False when the XML declaration names an encoding the scan does not read,
// or cannot itself be read.
bool DeclaredEncodingScanned(const unsigned char* bytes, size_t size, const Reading& reading) {
  char start[512];
  size_t length = AsciiStart(bytes, size, reading, start, sizeof(start));
  if (length < 6 || memcmp(start, "<?xml", 5) != 0 || !IsSpace(start[5])) return true;  // no declaration
  const char* end = Find(start, length, "?>");
  if (!end) return false;
  size_t declared = static_cast<size_t>(end - start);
  // The attribute's name follows a blank ("<?xml " comes first, so one is there to look at).
  const char* p = nullptr;
  for (size_t from = 0; !p && from < declared;) {
    const char* at = Find(start + from, declared - from, "encoding");
    if (!at) break;
    if (IsSpace(at[-1])) p = at;
    from = static_cast<size_t>(at - start) + 1;
  }
  if (!p) return true;  // the layout's own encoding
  for (p += 8; p < end && IsSpace(*p); ++p) {
  }
  if (p == end || *p != '=') return false;
  for (++p; p < end && IsSpace(*p); ++p) {
  }
  if (p == end || (*p != '"' && *p != '\'')) return false;
  char quote = *p;
  const char* name = ++p;
  while (p < end && *p != quote) ++p;
  if (p == end) return false;
  length = static_cast<size_t>(p - name);
  if (reading.layout.width == 1) return AsciiCompatible(name, length);
  return WideNameFits(name, length, reading.layout.width);
}

}  // namespace

DocumentTypeScan ScanForDocumentType(const unsigned char* bytes, size_t size) {
  if (!bytes && size != 0) return kDocumentUnreadable;
  for (const Layout& layout : kLayouts) {
    if (Contains(bytes, size, layout)) return kDeclaresDocumentType;
  }
  Reading reading = LayoutOf(bytes, size);
  if (!reading.scanned || !DeclaredEncodingScanned(bytes, size, reading)) return kEncodingNotScanned;
  return kNoDocumentType;
}
