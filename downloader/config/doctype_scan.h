// Whether an XML document declares a document type, found in its bytes before
// any parser reads them: a document type can name files and servers to fetch,
// and entities whose expansion has no bound. The parser then reads the same
// bytes, never the file again.
#pragma once
#include <stddef.h>

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
DocumentTypeScan ScanForDocumentType(const unsigned char* bytes, size_t size);
