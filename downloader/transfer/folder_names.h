// Names from the kit description (maker, product code, kit entries), each of
// which becomes one level of a path below the common files folder.
#pragma once
#include <stddef.h>

// The name as Windows stores it: without its trailing dots and blanks ("Acme
// Inc." is stored as "Acme Inc"). Every path is built from this form, so that
// what is recorded and later removed is what lies on disk. False for a text
// that could leave the folder it is joined to or name a device or a stream:
// separators, drives, colons, characters Windows forbids in a file name, a
// device name, or nothing left at all ("", ".", "..", "...").
bool StoredFolderName(const wchar_t* text, wchar_t* out, size_t capacity);
// True for a text that StoredFolderName accepts.
bool IsPlainFolderName(const wchar_t* text);
