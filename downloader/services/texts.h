// String-table texts from the resource module, and the message boxes that show
// them. Each call hands back a copy of its own, so the worker and the dialog can
// load texts at the same time. A text whose printf conversions differ from the
// ones its id is formatted with (the table below) is never handed out: the
// program's own text of that id stands in for it, or, failing that, an empty
// text.
#pragma once
#include <windows.h>

constexpr size_t kTextChars = 512;

struct LoadedText {
  wchar_t text[kTextChars];
  const wchar_t* c_str() const { return text; }
  operator const wchar_t*() const { return text; }
};

[[nodiscard]] LoadedText LoadText(UINT id);

// Which printf conversions each string-table text is formatted with. The texts
// may come from kitfetcher.ui, which lies in a folder anyone can write to: a
// text that asks for other arguments than the program passes would make the
// formatting read arguments that were never passed, or write through "%n".
// LoadText holds every text it hands out to this table.
// The conversions of text `id`, one letter per conversion in order ("sd": a
// text, then a number); "" for the texts that are shown as they are. Store
// rows (from IDS_STORE_ROW_FIRST) are not in the table: StoreRowFits judges them.
[[nodiscard]] const char* ExpectedConversions(UINT id);

// True when the text's conversions are exactly `expected`, in order. A
// conversion is a percent sign and the character after it; "%%" is a literal
// percent sign. Flags, widths, lengths, "%n" and a lone "%" at the end are
// conversions of kinds no text is formatted with, so they never match.
[[nodiscard]] bool TextHasConversions(const wchar_t* text, const char* expected);

// A store row ("prefix|template", filled by placeholder only) from the resource
// library: its conversions are those of the program's own row of the same id,
// or, where the program has no such row (`ownRow` null or empty), one or two
// "%s" and nothing else.
[[nodiscard]] bool StoreRowFits(const wchar_t* row, const wchar_t* ownRow);

// Message boxes with string-table texts; the caption is the kit's maker.
// Shows text `textId` formatted printf-style into `capacity` characters (a text
// that would not fit is cut at the buffer's end, never written past it).
int ShowFormattedMessage(HWND owner, UINT textId, size_t capacity, UINT style, ...);
int ShowMessage(HWND owner, UINT textId, UINT style);
