// Whether an XML file declares a document type, found before any parser reads
// it: a document type can name files and servers to fetch, and entities whose
// expansion has no bound.
#pragma once
#include <windows.h>

enum DocumentTypeScan { kNoDocumentType, kDeclaresDocumentType, kDocumentUnreadable };

// Looks for "<!DOCTYPE" anywhere in the file, in each byte layout a parser
// recognises without being told (single bytes, as in UTF-8 and the ANSI code
// pages, and UTF-16 and UTF-32 in either byte order). A comment or text that
// quotes the declaration counts as one too.
DocumentTypeScan ScanForDocumentType(const wchar_t* path);
