// The translations file of a resource library (kitfetcher.ui): every text
// kitfetcher shows, the progress dialog's labels and the library's language,
// as "key = text" lines; and what kitfetcher's buffers and formats demand of
// each text.
#pragma once
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "findings.h"

namespace kitpack {

// How kitfetcher uses a text.
enum class TextUse {
  kShown,     // shown as it stands: a percent sign is just a percent sign
  kFormat,    // a printf format: its placeholders take the program's values in order
  kTimeWord,  // a word of the time left, kept in 50 characters
  kDuration,  // the time-left format, kept in 50 characters
  kSpeedUnit, // the speed's unit, after a number in 50 characters
  kStoreRow,  // "marker|link template", filled by %s only
  kLabel,     // a text of the dialog template itself
};

struct EnglishText {
  std::string key;   // "104", "2000", "dialog.1004"
  const char* text;  // as the program carries it, typos included
  TextUse use;
  const char* comment;
};

// The program's own texts, in the order of the template.
const std::vector<EnglishText>& EnglishTexts();

// A language a library can name: its LANGID and whether it reads right to left.
struct UiLanguage {
  std::string tag;  // as written in the file, lower case; empty for a number
  uint16_t langId = 0;
  bool rightToLeft = false;
};

// "de", "de-AT", "ja", "ar", ... or a LANGID written as 0x0407; false for
// anything else.
bool ParseUiLanguage(const std::string& written, UiLanguage& language);

struct UiTexts {
  bool readable = false;
  Findings findings;
  UiLanguage language;
  std::map<std::string, std::string> texts;  // key -> text (UTF-8)
  std::map<std::string, int> lines;          // key -> its line
  int ExitCode() const { return readable ? findings.ExitCode() : kExitUnreadable; }
};

// Reads and checks a translations file's bytes (UTF-8, an optional BOM).
UiTexts ReadUiTexts(const std::string& bytes);
UiTexts ReadUiTextsFile(const std::string& path);  // "-" reads standard input

// The English file with a comment per key.
void PrintUiTemplate(std::ostream& out);

// Valid UTF-8 as UTF-16, the form of every text in a Windows resource.
std::u16string Utf16Of(const std::string& utf8);

// The numeric string id of a key, or -1 for the language and the dialog's keys.
int StringIdOf(const std::string& key);

}  // namespace kitpack
