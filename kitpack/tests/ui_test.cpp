// kitpack's resource library: the English template changed one text at a time
// against kitfetcher's formats and buffers, the template against the program's
// own resource script, and the library read back by binutils and icoutils.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "ui_library.h"
#include "ui_texts.h"

namespace kitpack {
namespace {

std::string Template() {
  std::ostringstream out;
  PrintUiTemplate(out);
  return out.str();
}

// The template with one key's line replaced (or removed, for nullptr) or, for a
// key it lacks, one line added.
std::string With(const std::string& key, const char* text, std::string file = Template()) {
  size_t at = file.find("\n" + key + " = ");
  if (at == std::string::npos) return file + (text ? key + " = " + text + "\n" : "");
  size_t end = file.find('\n', at + 1);
  file.erase(at + 1, end - at);
  if (text) file.insert(at + 1, key + " = " + text + "\n");
  return file;
}

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += text;
  return out;
}

std::string Describe(const Findings& findings) {
  std::string out;
  for (const Finding& f : findings.All()) {
    out += std::to_string(f.line) + (f.severity == Severity::kError ? " error: " : " warning: ") + f.text + "\n";
  }
  return out;
}

const std::string kJa = "\xE3\x83\x80";  // a katakana: one wide character
// "1165 hours, 59 minutes and 59 seconds" less the hours word: 32 characters.
const size_t kLongestWithoutHours = 32;

TEST(UiTexts, PlaceholdersBuffersAndWidths) {
  const struct {
    const char* what;
    std::string key;
    std::string text;  // "-": the line removed
    int exitCode;
    const char* phrase;
  } cases[] = {
      {"the English file", "", "", 0, ""},
      // Placeholders of the formatted texts: number, kind, order.
      {"dropped %s", "118", "kann nicht installiert werden.", 2, "118 has 0 placeholders (none) where the English"},
      {"swapped %d and %s", "131", "Auf %d fehlen %s MB.", 2, "131's placeholder 1 is %d where the English text has %s"},
      {"added one", "133", "%d MHz, %s?", 2, "133 has 2 placeholders (%d %s)"},
      {"%% is a percent sign", "133", "%d MHz (100%%)?", 0, ""},
      {"a lone % opens a placeholder", "144", "Soll %s zu 100% sicher laden?", 2, "(%s % s)"},
      {"width changes the kind", "117", "%2d %s und %d %s", 2, "placeholder 1 is %2d"},
      {"a trailing %", "134", "%d MB 100%", 2, "(%d %)"},
      {"a placeholder where none is filled in", "122", "Beenden %s?", 2, "122 takes no value, but holds a placeholder"},
      {"a lone % where none is filled in", "137", "100% Fehler", 2, "(% F)"},
      {"%% where none is filled in", "137", "100%% Fehler", 1, "appears as two percent signs"},
      {"a placeholder in a unit", "107", "KB/s%d", 2, "107 takes no value"},
      // Buffers, at their limits.
      {"511 characters", "120", Repeat("x", 511), 0, ""},
      {"512 characters", "120", Repeat("x", 512), 2, "512 characters long, over the 511"},
      {"511 UTF-16 units", "121", Repeat("\xF0\x9F\x98\x80", 255) + "x", 0, ""},
      {"512 UTF-16 units", "121", Repeat("\xF0\x9F\x98\x80", 256), 2, "over the 511"},
      {"time word of 50", "112", Repeat("m", 50), 2, "112 is 50 characters long, over the 49"},
      {"time left of 49", "111", Repeat("h", 49 - kLongestWithoutHours), 0, ""},
      {"time left of 50", "111", Repeat("h", 50 - kLongestWithoutHours), 2, "the time left can take 50 characters"},
      {"speed unit of 41", "107", Repeat("k", 41), 0, ""},
      {"speed unit of 42", "108", Repeat("k", 42), 2, "108 is 42 characters long"},
      // Store rows.
      {"row without a bar", "2001", "_sh-http://x/?p=%s&a=%s", 2, "2001 is no store row"},
      {"row with %d", "2003", "_tlr-|http://x/?N=%d", 2, "holds \"%d\": kitfetcher takes no percent sign"},
      {"row with a URL escape", "2003", "_tlr-|http://x/a%20b?N=%s", 2, "holds \"%2\""},
      {"row with %s in its marker", "2004", "_t%sl-|http://x/?N=%s", 2, "\"%s\" in its marker"},
      {"row losing its item", "2000", "_rn-|https://x/?affiliate=%s", 2, "2000 has 1 %s where the English row has 2"},
      {"a further row", "2006", "_new-|https://x/?a=%s", 0, ""},
      {"a further row with three", "2006", "_new-|https://x/?a=%s%s%s", 2, "2006 has 3 %ss"},
      // Labels against their controls.
      {"label of 23", "104", Repeat("d", 23), 0, ""},
      {"label of 24", "104", Repeat("d", 24), 1, "104 takes about 24 average characters; its control (1004, 92"},
      {"wide label of 12", "105", Repeat(kJa, 12), 0, ""},
      {"wide label of 13", "105", Repeat(kJa, 13), 1, "105 takes about 26"},
      {"template label", "dialog.1003", Repeat("t", 25), 1, "dialog.1003 takes about 25"},
      // The file itself.
      {"missing id", "144", "-", 2, "no text for 144"},
      {"missing language", "language", "-", 2, "no language line"},
      {"unknown language", "language", "xx-klingon", 2, "is none kitpack knows"},
      {"neutral language id", "language", "0x0400", 2, "is none kitpack knows"},
      {"language id", "language", "0x0C07", 0, ""},
      {"unknown key", "145", "Hallo", 2, "\"145\" is no key"},
      {"empty text", "137", "", 2, "137 is empty"},
      {"a control character", "137", "Feh\tler", 2, "control character"},
      {"broken UTF-8", "137", "Fehl\xC3", 3, "not valid UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string file = c.key.empty() ? Template() : With(c.key, c.text == "-" ? nullptr : c.text.c_str());
    UiTexts ui = ReadUiTexts(file);
    std::string all = Describe(ui.findings);
    EXPECT_EQ(c.exitCode, ui.ExitCode()) << all;
    EXPECT_NE(std::string::npos, all.find(c.phrase)) << all;
  }
  // A second line for a key, and a line that is no "key = text".
  EXPECT_NE(std::string::npos, Describe(ReadUiTexts(Template() + "137 = Fehler\n").findings).find("a second 137"));
  EXPECT_EQ(2, ReadUiTexts(Template() + "Fehler\n").ExitCode());
}

// The template's texts are the program's own, typos included.
TEST(UiTexts, TemplateHoldsTheProgramsTexts) {
  const std::string root = KITPACK_SAMPLES_DIR "/../../..";
  std::ifstream ids(root + "/downloader/services/text_ids.h"), rc(root + "/downloader/ui/kitfetcher.rc");
  ASSERT_TRUE(ids && rc);
  std::map<std::string, std::string> numbers;
  std::smatch m;
  for (std::string line; std::getline(ids, line);) {
    if (std::regex_match(line, m, std::regex("#define (IDS_\\w+) (\\d+)"))) numbers[m[1]] = m[2];
  }
  std::map<std::string, std::string> program;
  for (std::string line; std::getline(rc, line);) {
    if (std::regex_match(line, m, std::regex("\\s+(IDS_\\w+|\\d+) \"(.*)\""))) {
      program[numbers.count(m[1]) ? numbers[m[1]] : std::string(m[1])] = m[2];
    } else if (std::regex_match(line, m, std::regex("\\s+CONTROL \"(.+)\", (IDC_\\w+_LABEL), .*"))) {
      const char* key = m[2] == "IDC_DOWNLOADING_LABEL" ? "dialog.1004" : m[2] == "IDC_SPEED_LABEL" ? "dialog.1002"
                                                                                                    : "dialog.1003";
      program[key] = m[1];
    }
  }
  std::map<std::string, std::string> english;
  for (const EnglishText& e : EnglishTexts()) english[e.key] = e.text;
  EXPECT_EQ(program, english);
  UiTexts ui = ReadUiTexts(Template());
  EXPECT_EQ(0, ui.ExitCode()) << Describe(ui.findings);
  EXPECT_EQ(english, ui.texts);
}

std::string RunTool(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char chunk[4096];
  for (size_t n; (n = fread(chunk, 1, sizeof(chunk), pipe)) > 0;) out.append(chunk, n);
  int status = pclose(pipe);
  return status == 0 ? out : "FAILED: " + command + "\n" + out;
}

std::string Utf16Le(const std::string& utf8) {
  std::string out;
  for (char16_t c : Utf16Of(utf8)) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

// String `id` of a string-table block as Windows lays it out: 16 counted texts.
std::string BlockText(const std::string& block, int id) {
  size_t at = 0;
  for (int i = 0; i < id % 16 && at + 2 <= block.size(); ++i) {
    at += 2 + 2 * (static_cast<unsigned char>(block[at]) | static_cast<unsigned char>(block[at + 1]) << 8);
  }
  if (at + 2 > block.size()) return "(beyond the block)";
  size_t length = static_cast<unsigned char>(block[at]) | static_cast<unsigned char>(block[at + 1]) << 8;
  return block.substr(at + 2, 2 * length);
}

uint32_t Dword(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

TEST(UiLibrary, ReadBackByObjdumpAndWrestool) {
  const struct {
    const char* language;
    const char* langId;     // decimal, as wrestool prints it
    const char* objdumpId;  // as objdump prints it
    std::string quit;       // 122
    std::string label;      // dialog.1004
    uint32_t exStyle;
  } cases[] = {
      {"de", "1031", "0x000407", "M\xC3\xB6" "chten Sie wirklich beenden?", "L\xC3\xA4" "dt", 0},
      {"ja", "1041", "0x000411", "\xE7\xB5\x82\xE4\xBA\x86\xE3\x81\x97\xE3\x81\xBE\xE3\x81\x99\xE3\x81\x8B?",
       "\xE3\x83\x80\xE3\x82\xA6\xE3\x83\xB3", 0},
      {"he", "1037", "0x00040d", "\xD7\x9C\xD7\xA6\xD7\x90\xD7\xAA?", "\xD7\x94\xD7\x95\xD7\xA8\xD7\x93\xD7\x94",
       0x00400000},
  };
  char folder[] = "/tmp/kitpack-ui-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(folder));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    std::string file = With("language", c.language, With("122", c.quit.c_str(), With("dialog.1004", c.label.c_str())));
    UiTexts ui = ReadUiTexts(file);
    ASSERT_EQ(0, ui.ExitCode()) << Describe(ui.findings);
    const std::string path = std::string(folder) + "/kitfetcher-" + c.language + ".ui";
    std::ofstream(path, std::ios::binary) << BuildUiLibrary(ui);

    // binutils: a PE32 DLL for i386 with no entry point, imports, exports or relocations.
    std::string headers = RunTool("i686-w64-mingw32-objdump -p " + path);
    for (const char* expected :
         {"file format pei-i386", "Magic\t\t\t010b\t(PE32)", "AddressOfEntryPoint\t00000000", "\tDLL\n",
          "Entry 0 00000000 00000000 Export", "Entry 1 00000000 00000000 Import",
          "Entry 5 00000000 00000000 Base Relocation", "SizeOfCode\t\t00000000"}) {
      EXPECT_NE(std::string::npos, headers.find(expected)) << expected << "\n" << headers;
    }
    EXPECT_NE(std::string::npos, headers.find(std::string("Entry: ID: ") + c.objdumpId)) << headers;

    // icoutils: every block in the file's language, texts and dialog as written.
    std::string listing = RunTool("wrestool -l " + path);
    for (const char* block : {"7", "8", "9", "10", "126"}) {
      std::string entry = std::string("--type=6 --name=") + block + " --language=" + c.langId + " ";
      EXPECT_NE(std::string::npos, listing.find(entry)) << entry << "\n" << listing;
    }
    std::string strings = RunTool("wrestool -x --raw --type=6 --name=8 --language=" + std::string(c.langId) + " " + path);
    EXPECT_EQ(Utf16Le(c.quit), BlockText(strings, 122));
    EXPECT_EQ(Utf16Le("Download speed:"), BlockText(RunTool("wrestool -x --raw --type=6 --name=7 " + path), 105));
    std::string dialog = RunTool("wrestool -x --raw --type=5 --name=104 --language=" + std::string(c.langId) + " " + path);
    ASSERT_GT(dialog.size(), 16u) << dialog;
    EXPECT_EQ(0xFFFF0001u, Dword(dialog, 0));
    EXPECT_EQ(c.exStyle, Dword(dialog, 8));
    EXPECT_NE(std::string::npos, dialog.find(Utf16Le(c.label)));
  }

  // Nothing is written from a file with errors.
  const std::string bad = std::string(folder) + "/bad.txt", target = std::string(folder) + "/bad.ui";
  std::ofstream(bad, std::ios::binary) << With("118", "kein Platzhalter");
  std::ostringstream out, err;
  EXPECT_EQ(2, RunUi({"--texts", bad, "--out", target}, out, err));
  EXPECT_FALSE(std::ifstream(target).good());
  std::system(("rm -rf " + std::string(folder)).c_str());
}

}  // namespace
}  // namespace kitpack
