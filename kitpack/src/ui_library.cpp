#include "ui_library.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "pe_writer.h"
#include "text_units.h"

namespace kitpack {

namespace {

const uint16_t kRtString = 6;
const uint16_t kRtDialog = 5;
const uint16_t kProgressDialogId = 104;

// Window and control styles of the progress dialog, as the program's own
// template has them.
const uint32_t kWsPopup = 0x80000000u, kWsChild = 0x40000000u, kWsVisible = 0x10000000u;
const uint32_t kWsCaption = 0x00C00000u, kWsBorder = 0x00800000u, kWsSysMenu = 0x00080000u;
const uint32_t kWsGroup = 0x00020000u;
const uint32_t kDsSetFont = 0x40u, kDsModalFrame = 0x80u;
const uint32_t kPbsSmooth = 0x01u;
const uint32_t kWsExLayoutRtl = 0x00400000u;

class Bytes {
 public:
  void Word(uint32_t value) {
    data_ += static_cast<char>(value & 0xFF);
    data_ += static_cast<char>((value >> 8) & 0xFF);
  }
  void Dword(uint32_t value) {
    Word(value & 0xFFFF);
    Word(value >> 16);
  }
  void Byte(uint8_t value) { data_ += static_cast<char>(value); }
  void Text(const std::u16string& text) {  // zero-terminated
    for (char16_t c : text) Word(c);
    Word(0);
  }
  void AlignDword() {
    while (data_.size() % 4) data_ += '\0';
  }
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
};

struct DialogControl {
  int id;
  const char* windowClass;  // nullptr: the predefined Static class
  const char* labelKey;     // nullptr: the text below
  const char* text;
  uint32_t style;
  int x, y, cx, cy;
};

const DialogControl kControls[] = {
    {1001, "msctls_progress32", nullptr, "", kWsChild | kWsVisible | kWsBorder | kPbsSmooth, 105, 15, 218, 14},
    {1004, nullptr, "dialog.1004", nullptr, kWsChild | kWsVisible | kWsGroup, 6, 19, 92, 8},
    {1002, nullptr, "dialog.1002", nullptr, kWsChild | kWsVisible | kWsGroup, 6, 36, 97, 13},
    {1003, nullptr, "dialog.1003", nullptr, kWsChild | kWsVisible | kWsGroup, 6, 51, 97, 13},
    {1005, nullptr, nullptr, "-", kWsChild | kWsVisible | kWsGroup, 150, 36, 150, 13},
    {-1, nullptr, nullptr, "-", kWsChild | kWsVisible | kWsGroup, 150, 51, 150, 13},
};

std::string StringTableBlock(const UiTexts& ui, int block) {
  Bytes bytes;
  for (int id = (block - 1) * 16; id < block * 16; ++id) {
    auto text = ui.texts.find(std::to_string(id));
    std::u16string wide = text == ui.texts.end() ? std::u16string() : Utf16Of(text->second);
    bytes.Word(static_cast<uint32_t>(wide.size()));
    for (char16_t c : wide) bytes.Word(c);
  }
  return bytes.Data();
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::ostream& err) {
  std::string temporary = path + ".kitpack-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out.flush()) {
      err << "kitpack: cannot write " << temporary << "\n";
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    err << "kitpack: cannot write " << path << "\n";
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

std::string DescribeLanguage(const UiLanguage& language) {
  char id[8];
  std::snprintf(id, sizeof(id), "0x%04X", language.langId);
  return (language.tag.empty() ? std::string() : language.tag + " ") + "(" + id + ")" +
         (language.rightToLeft ? ", right to left: the dialog is mirrored" : "");
}

// The progress dialog's template (DIALOGEX) with the file's labels; mirrored
// for a right-to-left language.
std::string ProgressDialogTemplate(const UiTexts& ui) {
  Bytes b;
  b.Word(1);       // DIALOGEX version
  b.Word(0xFFFF);  // its signature
  b.Dword(0);      // help id
  b.Dword(ui.language.rightToLeft ? kWsExLayoutRtl : 0);
  b.Dword(kDsSetFont | kDsModalFrame | kWsPopup | kWsCaption | kWsSysMenu);
  b.Word(sizeof(kControls) / sizeof(kControls[0]));
  b.Word(0);
  b.Word(0);
  b.Word(330);
  b.Word(68);
  b.Word(0);  // no menu
  b.Word(0);  // the standard dialog class
  b.Word(0);  // an empty caption: the program sets the product's name
  b.Word(8);  // MS Shell Dlg, 8 points, regular, default character set
  b.Word(0);
  b.Byte(0);
  b.Byte(1);
  b.Text(u"MS Shell Dlg");
  for (const DialogControl& c : kControls) {
    b.AlignDword();
    b.Dword(0);  // help id
    b.Dword(0);  // extended style: children inherit the dialog's mirroring
    b.Dword(c.style);
    b.Word(static_cast<uint32_t>(c.x));
    b.Word(static_cast<uint32_t>(c.y));
    b.Word(static_cast<uint32_t>(c.cx));
    b.Word(static_cast<uint32_t>(c.cy));
    b.Dword(static_cast<uint32_t>(c.id));
    if (c.windowClass) {
      b.Text(Utf16Of(c.windowClass));
    } else {
      b.Word(0xFFFF);
      b.Word(0x0082);  // Static
    }
    auto label = c.labelKey ? ui.texts.find(c.labelKey) : ui.texts.end();
    b.Text(Utf16Of(label != ui.texts.end() ? label->second : c.text ? c.text : ""));
    b.Word(0);  // no creation data
  }
  return b.Data();
}

}  // namespace

const char kUiHelp[] =
    "usage: kitpack ui --texts <file> --out <kitfetcher.ui>\n"
    "       kitpack ui --template\n"
    "       kitpack ui --check <file>          (the same as kitpack check-ui <file>)\n"
    "\n"
    "Makes kitfetcher's resource library from a translations file: the string table with every text kitfetcher\n"
    "shows (and the store rows from 2000) and the progress dialog (104) with the file's labels, in the language\n"
    "the file names, as a library that holds no code, no entry point and no imports (kitfetcher maps it as\n"
    "data, on Windows XP SP3 and later). Right-to-left languages (Arabic, Hebrew, ...) get a mirrored dialog.\n"
    "The file is checked first, as check-ui does; nothing is written when it has errors.\n"
    "\n"
    "The file is UTF-8, one \"key = text\" line each; lines starting with # are comments and blanks around a\n"
    "text are dropped. The keys are kitfetcher's string ids (104 ... 144, store rows from 2000), the dialog's\n"
    "labels (dialog.1004, dialog.1002, dialog.1003) and language (a tag such as de, de-AT, ja, ar, or a Windows\n"
    "language id such as 0x0407). --template prints the English file with a comment per key: the start of a\n"
    "translation. --texts - reads standard input.\n"
    "\n"
    "Exit codes: 0 written, 1 written with warnings, 2 errors (nothing written), 3 unreadable input.\n";

const char kCheckUiHelp[] =
    "usage: kitpack check-ui <file>\n"
    "\n"
    "Checks a translations file (see kitpack help ui) the way kitfetcher will use its texts, as\n"
    "FILE:LINE: error|warning: sentence.\n"
    "Errors (kitfetcher would show its English text, or nothing): a missing key, an unknown key or language;\n"
    "placeholders (%s, %d; a '%' not doubled opens one, %% is a percent sign) that differ from the English\n"
    "text's in number, kind or order, so any placeholder in a text that takes no value; a text over kitfetcher's\n"
    "buffers: 511 characters for any text, 49 for the time words and formats (110-117) and for the longest time\n"
    "left they make, 41 for the speed units (107, 108); a store row that is not \"marker|link\", or holds a\n"
    "percent sign other than %s in the link (URL escapes too), or another number of %s than the English row.\n"
    "Warnings: a label wider than its control, counted at the dialog font's (MS Shell Dlg 8 pt) average\n"
    "character width of 4 dialog units (a wide East Asian character counts two); %% in a text that takes no\n"
    "value, which kitfetcher shows as it stands.\n"
    "\n"
    "Exit codes: 0 clean, 1 warnings only, 2 errors, 3 the file cannot be read.\n";

std::string BuildUiLibrary(const UiTexts& ui) {
  std::vector<PeResource> resources;
  std::vector<int> blocks;
  for (const auto& text : ui.texts) {
    int id = StringIdOf(text.first);
    if (id >= 0) blocks.push_back(id / 16 + 1);
  }
  std::sort(blocks.begin(), blocks.end());
  blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
  for (int block : blocks) {
    resources.push_back(PeResource{kRtString, static_cast<uint16_t>(block), ui.language.langId,
                                   StringTableBlock(ui, block)});
  }
  resources.push_back(PeResource{kRtDialog, kProgressDialogId, ui.language.langId, ProgressDialogTemplate(ui)});
  return WriteResourceOnlyPe32(resources);
}

int RunCheckUi(const std::string& path, std::ostream& out) {
  UiTexts ui = ReadUiTextsFile(path);
  ui.findings.Print(out, path);
  if (ui.readable && !ui.findings.HasErrors()) out << path << ": language " << DescribeLanguage(ui.language) << "\n";
  return ui.ExitCode();
}

int RunUi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "--template") {
    PrintUiTemplate(out);
    return kExitClean;
  }
  if (args.size() == 2 && args[0] == "--check") return RunCheckUi(args[1], out);
  std::string texts, target;
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] == "--texts") texts = args[i + 1];
    else if (args[i] == "--out") target = args[i + 1];
    else texts.clear(), target.clear(), i = args.size();
  }
  if (args.size() != 4 || texts.empty() || target.empty()) {
    err << "kitpack: ui takes --texts FILE --out FILE, --template or --check FILE\n\n" << kUiHelp;
    return kExitUnreadable;
  }
  UiTexts ui = ReadUiTextsFile(texts);
  ui.findings.Print(err, texts);
  if (!ui.readable) return kExitUnreadable;
  if (ui.findings.HasErrors()) {
    err << "kitpack: " << texts << " has errors; " << target << " not written\n";
    return kExitErrors;
  }
  if (!WriteFileAtomically(target, BuildUiLibrary(ui), err)) return kExitErrors;
  out << "wrote " << target << ": " << ui.texts.size() << " texts, language " << DescribeLanguage(ui.language)
      << "\n";
  return ui.ExitCode();
}

int ChooseUiLibrary(const std::vector<std::string>& files, const std::string& language, std::ostream& out,
                    std::ostream& err, std::string& bytes) {
  int exitCode = kExitClean;
  std::string wanted = AsciiLower(language);
  // 2: the tag itself is the language; 1: its first part is.
  int bestRank = 0;
  std::vector<std::string> best;
  UiTexts chosen;
  std::map<uint16_t, std::string> seen;
  for (const std::string& file : files) {
    UiTexts ui = ReadUiTextsFile(file);
    ui.findings.Print(err, file);
    exitCode = std::max(exitCode, ui.ExitCode());
    if (ui.ExitCode() >= kExitErrors) continue;
    if (seen.count(ui.language.langId)) {
      err << "kitpack: " << file << " and " << seen[ui.language.langId] << " are both for "
          << DescribeLanguage(ui.language) << "\n";
      exitCode = std::max(exitCode, kExitErrors);
      continue;
    }
    seen[ui.language.langId] = file;
    const std::string& tag = ui.language.tag;
    int rank = tag.empty() || wanted.empty() ? 0 : tag == wanted ? 2 : tag.substr(0, tag.find('-')) == wanted ? 1 : 0;
    if (rank == 0) {
      out << "note: " << file << " is for " << DescribeLanguage(ui.language) << ", not for the description's <language> "
          << language << "; checked but not packed\n";
      continue;
    }
    if (rank > bestRank) {
      bestRank = rank;
      best.clear();
      chosen = ui;
    }
    if (rank == bestRank) best.push_back(file);
  }
  if (best.size() > 1) {
    err << "kitpack: " << best[0] << " and " << best[1] << " are both for the description's <language> " << language
        << "\n";
    return kExitErrors;
  }
  if (exitCode < kExitErrors && !best.empty()) bytes = BuildUiLibrary(chosen);
  return exitCode;
}

}  // namespace kitpack
