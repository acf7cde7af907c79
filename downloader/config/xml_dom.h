// Small helpers over the MSXML 3.0 DOM document, shared by the code that reads
// and patches the kit's XML documents, and the check that a document declares
// no document type before any parser reads it. The caller initialises COM.
#pragma once
#include <windows.h>
#include <msxml2.h>
#include <stddef.h>

#include "common/result.h"
#include "common/scoped_handles.h"

namespace xmldom {

using DocumentPtr = qn::ComPtr<IXMLDOMDocument>;
using NodePtr = qn::ComPtr<IXMLDOMNode>;
using AttributeMapPtr = qn::ComPtr<IXMLDOMNamedNodeMap>;

// Creates an empty MSXML 3.0 document that loads synchronously, resolves no
// external parts and does not validate (and refuses document types where the
// parser offers that). Any answer but S_OK leaves doc empty.
qn::Result CreateDocument(DocumentPtr& doc);
// Documents are the kit's small descriptions: a larger file is not read.
constexpr DWORD kMaxDocumentBytes = 16 * 1024 * 1024;

// Reads the file once and loads the DOM from those bytes. S_OK only when the
// DOM reports the load successful; S_FALSE, without asking the DOM, for a file
// that cannot be read whole, that declares a document type, or that is in an
// encoding the document type check does not read (logged), and when the DOM
// reports the load unsuccessful (a document that is not well-formed). A
// failure when the bytes cannot be handed to the parser (logged) or the DOM
// fails the load.
qn::Result LoadDocument(IXMLDOMDocument* doc, const wchar_t* path);
// Both of the above; any answer but S_OK leaves doc empty.
qn::Result OpenDocument(const wchar_t* path, DocumentPtr& doc);

// Writes the document back to path; the DOM's answer as it came.
qn::Result SaveDocument(IXMLDOMDocument* doc, const wchar_t* path);

// Every helper below answers S_OK only together with the object asked for;
// any other answer leaves the owner empty.

// S_FALSE when the path selects nothing, a failure for a path the DOM rejects.
qn::Result SelectNode(IXMLDOMNode* from, const wchar_t* xpath, NodePtr& node);
qn::Result FirstChild(IXMLDOMNode* node, NodePtr& child);
// Moves node on to its next sibling; S_OK while there is one, otherwise node
// ends up null.
qn::Result MoveToNextSibling(NodePtr& node);

// The node's text. S_OK with a text (possibly empty); otherwise text is null.
qn::Result ReadText(IXMLDOMNode* node, qn::ScopedBstr& text);
qn::Result WriteText(IXMLDOMNode* node, const wchar_t* text);

// The node's attribute map: S_OK for elements, S_FALSE (map null) for nodes
// that carry no attributes, such as text and comments.
qn::Result GetAttributes(IXMLDOMNode* node, AttributeMapPtr& attributes);
// One attribute node of the map; S_FALSE (node null) when it is missing.
qn::Result GetAttribute(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, NodePtr& attribute);
// The text of one attribute; S_OK only when it exists and its text was read.
qn::Result ReadAttributeText(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, qn::ScopedBstr& text);

// How many nodes the path selects; S_OK with the count (possibly 0).
qn::Result CountNodes(IXMLDOMNode* from, const wchar_t* xpath, long* count);

// Creates an element without namespace, owned by doc but not yet in the tree.
qn::Result CreateElement(IXMLDOMDocument* doc, const wchar_t* name, NodePtr& element);

}  // namespace xmldom

// Whether an XML document declares a document type, found in its bytes before
// any parser reads them: a document type can name files and servers to fetch,
// and entities whose expansion has no bound. The parser then reads the same
// bytes, never the file again.
enum DocumentTypeScan {
  kNoDocumentType,
  kDeclaresDocumentType,
  kDocumentUnreadable,
  // In an encoding the scan does not read (UTF-7, EBCDIC, any other declared
  // encoding outside the list below): the scan cannot vouch for the document.
  kEncodingNotScanned
};

// Looks for "<!DOCTYPE" anywhere in the bytes, in each layout of ASCII a
// parser recognises: single bytes (UTF-8, and the declared encodings in which
// every ASCII character is its own byte: US-ASCII, ISO-8859-n, windows-125n,
// Shift_JIS, EUC-JP, EUC-KR, GB2312, GBK, Big5), UTF-16 in either byte order
// and UCS-4 in all four (1234, 4321, 2143, 3412). A comment or text that
// quotes the declaration counts as one too. A document in any other encoding,
// by its byte-order mark, its first bytes or its declaration, is not scanned.
[[nodiscard]] DocumentTypeScan ScanForDocumentType(const unsigned char* bytes, size_t size);
