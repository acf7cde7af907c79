#include "ui_texts.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "text_units.h"

namespace kitpack {

namespace {

// The buffers kitfetcher reads texts into, less their terminator.
const size_t kTextMax = 511;       // every text (LoadText's 512 characters)
const size_t kTimeTextMax = 49;    // time words, duration formats and the time left (50 each)
const size_t kSpeedUnitMax = 41;   // "%4.2lf %s" in 50: a number of up to 7 characters and a blank
const int kMaxHours = 1165;        // 4 GiB left at 1 KB/s

// Dialog units of one average character of the dialog's font: a dialog unit is
// a quarter of the font's average character width, whatever the font.
const int kDialogUnitsPerChar = 4;

const std::vector<EnglishText> kEnglish = {
    {"104", "Downloading installer:", TextUse::kShown, "Progress dialog: the label in front of the bar (about 23 characters fit)."},
    {"105", "Download speed:", TextUse::kShown, "Progress dialog: the label of the speed (about 24 characters fit)."},
    {"106", "Estimated time left:", TextUse::kShown, "Progress dialog: the label of the time left (about 24 characters fit)."},
    {"107", "KB/s", TextUse::kSpeedUnit, "Speed unit below 1000 KB/s, after a number such as 512.00."},
    {"108", "MB/s", TextUse::kSpeedUnit, "Speed unit from 1000 KB/s up, after a number such as 1.50."},
    {"110", "hour", TextUse::kTimeWord, "Time left: the word after the count 1 (at most 49 characters)."},
    {"111", "hours", TextUse::kTimeWord, "Time left: the word after any other count of hours."},
    {"112", "minute", TextUse::kTimeWord, "Time left: the word after the count 1."},
    {"113", "minutes", TextUse::kTimeWord, "Time left: the word after any other count of minutes."},
    {"114", "second", TextUse::kTimeWord, "Time left: the word after the count 1."},
    {"115", "seconds", TextUse::kTimeWord, "Time left: the word after any other count of seconds."},
    {"116", "%d %s, %d %s and %d %s", TextUse::kDuration,
     "Time left from one hour up: hours, minutes, seconds, each a count (%d) and its word (%s), in this order."},
    {"117", "%d %s and %d %s", TextUse::kDuration,
     "Time left from one minute up: minutes, then seconds, each a count (%d) and its word (%s)."},
    {"118", "%s cannot be installed on your operating system.", TextUse::kFormat,
     "Message: this Windows is refused. %s: the product."},
    {"119", "Estimating...", TextUse::kShown, "Progress dialog: the speed and the time left until the first measure (about 37 characters fit)."},
    {"120", "This program is already installed on your system. Are you sure you want to continue?", TextUse::kShown,
     "Question: the kit is installed already; Yes installs again."},
    {"121",
     "There was a problem with downloading one of the installatiion files. Please check your connection and try "
     "again later.",
     TextUse::kShown, "Message: a download failed."},
    {"122", "Are you sure you want to quit?", TextUse::kShown, "Question when the user closes the progress dialog."},
    {"131", "Not enough free space on drive %s. Please free %d MB.", TextUse::kFormat,
     "Message: too little disk space. %s: the drive; %d: the megabytes to free."},
    {"132",
     "%s was detected on your system. In order to continue installing %s you must uninstall %s. Do you want to "
     "uninstall it? If you click no, you will not be able to instal %s",
     TextUse::kFormat,
     "Question: a competing product was found. %s in this order: the competitor, the product, the competitor, the "
     "product."},
    {"133", "You need a CPU with at least %d MHz for optimal performance. Install anyway?", TextUse::kFormat,
     "Question: the processor is slower than the kit wants. %d: megahertz."},
    {"134", "You need at least %d MB of physical memory for optimal performance. Install anyway?", TextUse::kFormat,
     "Question: too little memory. %d: megabytes."},
    {"136",
     "%s cannot automatically uninstall %s. We recommend that you manually uninstall this program and run %s "
     "installation again.",
     TextUse::kFormat,
     "Message: the competitor cannot be removed. %s in this order: the product, the competitor, the product."},
    {"137", "Error", TextUse::kShown, "Caption of message 138."},
    {"138",
     "There is already another instance of this application running. Please wait for the current instance to finish "
     "befor running this program again.",
     TextUse::kShown, "Message: kitfetcher runs already."},
    {"139", "There was an error download one of the instalation file. Do you want to retry?", TextUse::kShown,
     "Question: a download failed; Retry tries again."},
    {"140",
     "This product requires an internet connection in order to install. Please check your connection setting and "
     "try again.",
     TextUse::kShown, "Message: no server answers and there is no offline kit."},
    {"141",
     "Another version of %s was found on your system. In order to continue the installation process, you must first "
     "remove this version. Do you want to continue? If you click no, you will not be able to instal this version of "
     "%s",
     TextUse::kFormat, "Question: another version of the maker's product was found. %s: the maker, twice."},
    {"142",
     "This program requires administrative priviledges to be run. Please login with an user with administrative "
     "rights and run this program again.",
     TextUse::kShown, "Message: the user is no administrator."},
    {"143", "This application cannot be run on your machine.", TextUse::kShown,
     "Message: the kit has no install descriptor for this Windows."},
    {"144", "Do you want %s to download newer files while installing?", TextUse::kFormat,
     "Question: fetch newer kit files? %s: the maker."},
    {"2000", "_rn-|https://secure.orderdesk-rn.example/softsell/nph-softsell.cgi?item=%s&affiliate=%s",
     TextUse::kStoreRow,
     "Store rows: marker|link. The first row whose marker is in the starting program's name builds the buy link; "
     "%s: the item, then the affiliate code (rows with one %s: the code). Only %s is filled in."},
    {"2001", "_sh-|http://www.sharestore.example/product.html?productid=%s&affiliateid=%s", TextUse::kStoreRow,
     "Store row: %s: the item, then the affiliate code."},
    {"2002", "_es-|http://www.estore-checkout.example/a.asp?c=0_SKU%s_AFL%s", TextUse::kStoreRow,
     "Store row: %s: the item, then the affiliate code."},
    {"2003", "_tlr-|http://www.tl-redirect.example/redirprod.html?N=%s", TextUse::kStoreRow,
     "Store row: %s: the affiliate code."},
    {"2004", "_tll-|http://www.tl-links.example/redirprod.html?N=%s", TextUse::kStoreRow,
     "Store row: %s: the affiliate code."},
    {"2005", "_avg-|https://secure.avg-orders.example/order/product.php?PRODS=%s&QTY=1&AFFILIATE=%s",
     TextUse::kStoreRow, "Store row: %s: the item, then the affiliate code."},
    {"dialog.1004", "Downloading", TextUse::kLabel,
     "The dialog template's own label in front of the bar, shown until 104 replaces it."},
    {"dialog.1002", "Speed", TextUse::kLabel, "The dialog template's own speed label, shown until 105 replaces it."},
    {"dialog.1003", "Time left", TextUse::kLabel,
     "The dialog template's own time-left label, shown until 106 replaces it."},
};

// Controls that show a text, with their width in dialog units.
struct LabelPlace {
  const char* key;
  int control;
  int width;
};
const LabelPlace kLabelPlaces[] = {
    {"104", 1004, 92},          {"dialog.1004", 1004, 92}, {"105", 1002, 97}, {"dialog.1002", 1002, 97},
    {"106", 1003, 97},          {"dialog.1003", 1003, 97}, {"119", 1005, 150},
};

struct KnownLanguage {
  const char* tag;
  uint16_t langId;
};
// The languages a vendor is likely to ship, by tag; any other by its LANGID.
const KnownLanguage kLanguages[] = {
    {"en", 0x0409},    {"en-us", 0x0409}, {"en-gb", 0x0809}, {"de", 0x0407},    {"de-de", 0x0407},
    {"de-at", 0x0C07}, {"de-ch", 0x0807}, {"fr", 0x040C},    {"fr-fr", 0x040C}, {"fr-ca", 0x0C0C},
    {"fr-be", 0x080C}, {"fr-ch", 0x100C}, {"es", 0x0C0A},    {"es-es", 0x0C0A}, {"es-mx", 0x080A},
    {"it", 0x0410},    {"it-it", 0x0410}, {"nl", 0x0413},    {"nl-nl", 0x0413}, {"nl-be", 0x0813},
    {"pt", 0x0816},    {"pt-pt", 0x0816}, {"pt-br", 0x0416}, {"ja", 0x0411},    {"ja-jp", 0x0411},
    {"ko", 0x0412},    {"ko-kr", 0x0412}, {"zh-cn", 0x0804}, {"zh-hans", 0x0804}, {"zh-tw", 0x0404},
    {"zh-hant", 0x0404}, {"ru", 0x0419},  {"ru-ru", 0x0419}, {"pl", 0x0415},    {"cs", 0x0405},
    {"sk", 0x041B},    {"hu", 0x040E},    {"ro", 0x0418},    {"bg", 0x0402},    {"uk", 0x0422},
    {"el", 0x0408},    {"tr", 0x041F},    {"sv", 0x041D},    {"da", 0x0406},    {"nb", 0x0414},
    {"no", 0x0414},    {"fi", 0x040B},    {"et", 0x0425},    {"lv", 0x0426},    {"lt", 0x0427},
    {"sl", 0x0424},    {"hr", 0x041A},    {"th", 0x041E},    {"vi", 0x042A},    {"id", 0x0421},
    {"ms", 0x043E},    {"hi", 0x0439},    {"ar", 0x0401},    {"ar-sa", 0x0401}, {"ar-eg", 0x0C01},
    {"ar-ae", 0x3801}, {"he", 0x040D},    {"he-il", 0x040D}, {"fa", 0x0429},    {"ur", 0x0420},
};

// Primary languages written right to left: Arabic, Hebrew, Urdu, Persian,
// Sindhi, Syriac, Pashto, Divehi, Uyghur.
bool IsRightToLeft(uint16_t langId) {
  switch (langId & 0x3FF) {
    case 0x01: case 0x0D: case 0x20: case 0x29: case 0x59: case 0x5A: case 0x63: case 0x65: case 0x80:
      return true;
    default:
      return false;
  }
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Code points of valid UTF-8.
std::vector<unsigned long> CodePoints(const std::string& utf8) {
  std::vector<unsigned long> out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    unsigned long cp = length == 1 ? lead : (lead & (0xFF >> (length + 1)));
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    out.push_back(cp);
    i += length;
  }
  return out;
}

// Columns of the average character a code point takes: East Asian wide and
// full-width characters two, combining marks none.
int Columns(unsigned long cp) {
  if ((cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x0591 && cp <= 0x05C7) || (cp >= 0x064B && cp <= 0x065F) ||
      cp == 0x0670 || cp == 0x200B || cp == 0x200E || cp == 0x200F) {
    return 0;
  }
  if ((cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) || (cp >= 0xAC00 && cp <= 0xD7A3) ||
      (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
      (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000) {
    return 2;
  }
  return 1;
}

int TextColumns(const std::string& utf8) {
  int columns = 0;
  for (unsigned long cp : CodePoints(utf8)) columns += Columns(cp);
  return columns;
}

// The placeholders of a printf format as written ("%s", "%d", "%-5d", "% s"),
// in order; "%%" is a percent sign. A '%' that opens no conversion comes back
// as far as it goes, so that it never compares equal to a real one.
std::vector<std::string> Placeholders(const std::string& text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && std::strchr("-+ #0", text[j]) && text[j] != '\0') ++j;
    if (j < text.size() && text[j] == '*') ++j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    if (j < text.size() && text[j] == '.') {
      ++j;
      if (j < text.size() && text[j] == '*') ++j;
      while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
    }
    while (j < text.size() && std::strchr("hlLwIjzt3264", text[j]) && text[j] != '\0') ++j;
    bool conversion = j < text.size() && std::strchr("cCdiouxXeEfFgGaAnpsSZ", text[j]) && text[j] != '\0';
    found.push_back(text.substr(i, j - i + (conversion ? 1 : 0)));
    i = conversion ? j : j - 1;
  }
  return found;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : " ") + item;
  return out.empty() ? "none" : out;
}

std::string Count(size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

void CheckPlaceholders(const std::string& key, const std::string& text, const std::string& english, int line,
                       Findings& findings) {
  std::vector<std::string> mine = Placeholders(text);
  std::vector<std::string> theirs = Placeholders(english);
  if (mine == theirs) return;
  if (mine.size() != theirs.size()) {
    findings.Error(line, key + " has " + Count(mine.size(), "placeholder") + " (" + Joined(mine) +
                             ") where the English text has " + std::to_string(theirs.size()) + " (" + Joined(theirs) +
                             "): kitfetcher passes exactly those, in that order (write %% for a percent sign)");
    return;
  }
  for (size_t i = 0; i < mine.size(); ++i) {
    if (mine[i] == theirs[i]) continue;
    findings.Error(line, key + "'s placeholder " + std::to_string(i + 1) + " is " + mine[i] +
                             " where the English text has " + theirs[i] + " (" + Joined(theirs) +
                             "): kitfetcher passes its values in that order");
    return;
  }
}

void CheckStoreRow(const std::string& key, const std::string& text, const char* english, int line,
                   Findings& findings) {
  size_t bar = text.find('|');
  if (bar == std::string::npos || bar == 0 || bar + 1 == text.size()) {
    findings.Error(line, key + " is no store row \"marker|link\": kitfetcher skips it");
    return;
  }
  // kitfetcher fills "%s" in the link alone, and refuses a row with any other
  // percent sign (a URL escape such as %2F too), taking its own row instead.
  size_t slots = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i > bar && i + 1 < text.size() && text[i + 1] == 's') {
      ++slots;
      ++i;
    } else {
      findings.Error(line, key + " holds \"" + text.substr(i, 2) + "\"" + (i < bar ? " in its marker" : "") +
                               ": kitfetcher takes no percent sign in a row but %s in the link (write the character "
                               "itself, not its URL escape), and would use its own row instead");
      return;
    }
  }
  size_t wanted = 0;
  if (english) {
    std::string englishText = english;
    for (size_t at = englishText.find("%s"); at != std::string::npos; at = englishText.find("%s", at + 2)) ++wanted;
    if (slots != wanted) {
      findings.Error(line, key + " has " + Count(slots, "%s") + " where the English row has " +
                               std::to_string(wanted) + ": the item and affiliate code would land in the wrong place");
    }
  } else if (slots < 1 || slots > 2) {
    findings.Error(line, key + " has " + Count(slots, "%s") +
                             ": a row takes the affiliate code, or the item and then the affiliate code");
  }
}

// The longest time-left text the words and formats can make, or "" when a
// format is unusable (reported on its own).
std::string LongestTimeLeft(const std::map<std::string, std::string>& texts) {
  auto text = [&](const char* key) {
    auto found = texts.find(key);
    return found == texts.end() ? std::string() : found->second;
  };
  auto longer = [](const std::string& a, const std::string& b) { return Utf16Units(a) >= Utf16Units(b) ? a : b; };
  std::string hours = longer(text("110"), text("111"));
  std::string minutes = longer(text("112"), text("113"));
  std::string seconds = longer(text("114"), text("115"));
  auto fill = [](const std::string& format, const std::vector<std::string>& values) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
      if (format[i] == '%' && i + 1 < format.size()) {
        ++i;
        if (format[i] == '%') out += '%';
        else if (next < values.size()) out += values[next++];
        continue;
      }
      out += format[i];
    }
    return out;
  };
  std::string candidates[] = {
      fill("%d %s", {"59", seconds}),
      fill(text("117"), {"59", minutes, "59", seconds}),
      fill(text("116"), {std::to_string(kMaxHours), hours, "59", minutes, "59", seconds}),
  };
  std::string longest;
  for (const std::string& c : candidates) longest = longer(c, longest);
  return longest;
}

void CheckText(const EnglishText& english, const std::string& text, int line, Findings& findings) {
  const std::string& key = english.key;
  size_t units = Utf16Units(text);
  if (units > kTextMax) {
    findings.Error(line, key + " is " + std::to_string(units) + " characters long, over the " +
                             std::to_string(kTextMax) + " kitfetcher reads of a text");
  }
  // kitfetcher fills no value into these and refuses one that holds a
  // placeholder (a '%' not doubled opens one), showing its English text.
  bool takesNoValue = english.use == TextUse::kShown || english.use == TextUse::kTimeWord ||
                      english.use == TextUse::kSpeedUnit;
  if (takesNoValue && !Placeholders(text).empty()) {
    findings.Error(line, key + " takes no value, but holds a placeholder (" + Joined(Placeholders(text)) +
                             "): kitfetcher would show its English text instead");
  } else if (takesNoValue && text.find("%%") != std::string::npos) {
    findings.Warning(line, key + " is shown as it stands: its %% appears as two percent signs");
  }
  switch (english.use) {
    case TextUse::kShown:
      break;
    case TextUse::kFormat:
      CheckPlaceholders(key, text, english.text, line, findings);
      break;
    case TextUse::kDuration:
      CheckPlaceholders(key, text, english.text, line, findings);
      [[fallthrough]];  // held in the same 50 characters as the words
    case TextUse::kTimeWord:
      if (units > kTimeTextMax) {
        findings.Error(line, key + " is " + std::to_string(units) + " characters long, over the " +
                                 std::to_string(kTimeTextMax) + " kitfetcher keeps: it would show no time left");
      }
      break;
    case TextUse::kSpeedUnit:
      if (units > kSpeedUnitMax) {
        findings.Error(line, key + " is " + std::to_string(units) + " characters long: after the number it overflows "
                                 "the speed's 49 characters and the speed is never shown (at most " +
                                 std::to_string(kSpeedUnitMax) + ")");
      }
      break;
    case TextUse::kStoreRow:
      CheckStoreRow(key, text, english.text, line, findings);
      break;
    case TextUse::kLabel:
      break;
  }
}

void CheckWidths(const UiTexts& ui, Findings& findings) {
  for (const LabelPlace& place : kLabelPlaces) {
    auto text = ui.texts.find(place.key);
    if (text == ui.texts.end()) continue;
    int fits = place.width / kDialogUnitsPerChar;
    int columns = TextColumns(text->second);
    if (columns <= fits) continue;
    findings.Warning(ui.lines.at(place.key),
                     std::string(place.key) + " takes about " + std::to_string(columns) + " average characters; its " +
                         "control (" + std::to_string(place.control) + ", " + std::to_string(place.width) +
                         " dialog units) holds about " + std::to_string(fits) +
                         " in MS Shell Dlg 8 pt, at 4 dialog units an average character and two for a wide one");
  }
}

}  // namespace

const std::vector<EnglishText>& EnglishTexts() { return kEnglish; }

std::u16string Utf16Of(const std::string& utf8) {
  std::u16string out;
  for (unsigned long cp : CodePoints(utf8)) {
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

int StringIdOf(const std::string& key) {
  if (key.empty() || key.size() > 5 || key.find_first_not_of("0123456789") != std::string::npos) return -1;
  if (key.size() > 1 && key[0] == '0') return -1;
  int id = std::atoi(key.c_str());
  return id <= 0xFFFF ? id : -1;
}

bool ParseUiLanguage(const std::string& written, UiLanguage& language) {
  std::string lower = AsciiLower(written);
  for (char& c : lower) {
    if (c == '_') c = '-';
  }
  for (const KnownLanguage& known : kLanguages) {
    if (lower == known.tag) {
      language.tag = lower;
      language.langId = known.langId;
      language.rightToLeft = IsRightToLeft(known.langId);
      return true;
    }
  }
  if (lower.size() == 6 && lower.compare(0, 2, "0x") == 0 &&
      lower.find_first_not_of("0123456789abcdef", 2) == std::string::npos) {
    unsigned long id = std::strtoul(lower.c_str() + 2, nullptr, 16);
    if ((id & 0x3FF) == 0) return false;  // no primary language: neutral or invalid
    language.tag.clear();
    language.langId = static_cast<uint16_t>(id);
    language.rightToLeft = IsRightToLeft(language.langId);
    return true;
  }
  return false;
}

UiTexts ReadUiTexts(const std::string& input) {
  UiTexts ui;
  std::string bytes = input.compare(0, 3, "\xEF\xBB\xBF") == 0 ? input.substr(3) : input;
  size_t bad = FirstInvalidUtf8(bytes);
  if (bad != std::string::npos) {
    int line = 1 + static_cast<int>(std::count(bytes.begin(), bytes.begin() + static_cast<long>(bad), '\n'));
    ui.findings.Error(line, "is not valid UTF-8: the file must be written in UTF-8");
    return ui;
  }
  ui.readable = true;
  std::map<std::string, const EnglishText*> known;
  for (const EnglishText& e : kEnglish) known[e.key] = &e;

  int line = 0;
  for (size_t from = 0; from < bytes.size();) {
    size_t end = bytes.find('\n', from);
    if (end == std::string::npos) end = bytes.size();
    std::string raw = bytes.substr(from, end - from);
    from = end + 1;
    ++line;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string trimmed = Trim(raw);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    size_t eq = trimmed.find('=');
    if (eq == std::string::npos) {
      ui.findings.Error(line, "is no \"key = text\" line (a comment starts with #)");
      continue;
    }
    std::string key = Trim(trimmed.substr(0, eq));
    std::string text = Trim(trimmed.substr(eq + 1));
    int id = StringIdOf(key);
    if (key != "language" && !known.count(key) && id < 2000) {
      ui.findings.Error(line, "\"" + key + "\" is no key of kitfetcher's texts (kitpack ui --template lists them)");
      continue;
    }
    if (ui.lines.count(key)) {
      ui.findings.Error(line, "a second " + key + ": the first is on line " + std::to_string(ui.lines[key]));
      continue;
    }
    ui.lines[key] = line;
    if (key == "language") {
      if (!ParseUiLanguage(text, ui.language)) {
        ui.findings.Error(line, "the language \"" + text +
                                    "\" is none kitpack knows: write a tag such as de, de-AT or ja, or a Windows "
                                    "language id such as 0x0407");
      }
      continue;
    }
    ui.texts[key] = text;
    if (text.empty()) {
      ui.findings.Error(line, key + " is empty: kitfetcher would show nothing");
      continue;
    }
    bool control = false;
    for (unsigned long cp : CodePoints(text)) control = control || cp < 0x20 || cp == 0x7F;
    if (control) {
      ui.findings.Error(line, key + " holds a control character (a tab?): write it as one line of plain text");
      continue;
    }
    static const EnglishText kExtraRow = {"", nullptr, TextUse::kStoreRow, nullptr};
    EnglishText english = known.count(key) ? *known[key] : kExtraRow;
    english.key = key;
    CheckText(english, text, line, ui.findings);
  }

  if (!ui.lines.count("language")) ui.findings.Error(0, "no language line (language = de, for instance)");
  for (const EnglishText& e : kEnglish) {
    if (!ui.lines.count(e.key)) {
      ui.findings.Error(0, "no text for " + e.key + " (English: \"" + e.text + "\")");
    }
  }
  std::string longest = LongestTimeLeft(ui.texts);
  if (Utf16Units(longest) > kTimeTextMax) {
    int at = ui.lines.count("116") ? ui.lines["116"] : 0;
    ui.findings.Error(at, "the time left can take " + std::to_string(Utf16Units(longest)) + " characters (\"" +
                              longest + "\"), over the " + std::to_string(kTimeTextMax) +
                              " kitfetcher formats it into: it would show no time left then");
  }
  CheckWidths(ui, ui.findings);
  return ui;
}

UiTexts ReadUiTextsFile(const std::string& path) {
  std::string bytes;
  if (path == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      UiTexts ui;
      ui.findings.Error(0, "cannot be read");
      return ui;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return ReadUiTexts(bytes);
}

void PrintUiTemplate(std::ostream& out) {
  out << "# kitfetcher's texts for a resource library (kitfetcher.ui), in UTF-8.\n"
         "# One \"key = text\" line each; a line starting with # is a comment; blanks around a text are dropped.\n"
         "# Keep every placeholder (%s, %d) of a text, in the same order; in a text with placeholders write %%\n"
         "# for a percent sign; a text without any is shown as it stands and can hold none.\n"
         "# Check with: kitpack check-ui FILE; make the library with:\n"
         "# kitpack ui --texts FILE --out kitfetcher.ui\n"
         "\n"
         "# The library's language: a tag such as de, de-AT, ja, ar, he (right-to-left languages get a mirrored\n"
         "# dialog), or a Windows language id such as 0x0407.\n"
         "language = en-US\n";
  for (const EnglishText& e : kEnglish) {
    out << "\n# " << e.comment << "\n";
    out << e.key << " = " << e.text << "\n";
  }
}

}  // namespace kitpack
