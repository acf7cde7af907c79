// kitpack check on one small description, changed one place at a time: each
// class of finding, its severity, its line and the exit code it makes.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "folder_names.h"
#include "locations_check.h"

namespace kitpack {
namespace {

const char kClean[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"                                        // 1
    "<locations>\n"                                                                       // 2
    "  <x86>\n"                                                                           // 3
    "    <base_url>http://kits.example/x86/%s</base_url>\n"                               // 4
    "    <downloadable_files>\n"                                                          // 5
    "      <file name=\"kit.cab\" relative_path=\"\" autorun=\"false\" base_url=\"\"/>\n"  // 6
    "      <file name=\"setup.exe\" relative_path=\"bin\" autorun=\"true\" base_url=\"\"/>\n"
    "    </downloadable_files>\n"                                                         // 8
    "  </x86>\n"
    "  <x64>\n"                                                                           // 10
    "    <base_url>http://kits.example/x64/%s</base_url>\n"                               // 11
    "    <downloadable_files>\n"
    "      <file name=\"kit.cab\" relative_path=\"\" autorun=\"false\" base_url=\"\"/>\n"  // 13
    "      <file name=\"setup.exe\" relative_path=\"bin\" autorun=\"true\" base_url=\"\"/>\n"
    "    </downloadable_files>\n"
    "  </x64>\n"
    "  <manufacturerName>Maker</manufacturerName>\n"                                      // 17
    "  <defaultProductName>Product</defaultProductName>\n"
    "  <language>EN</language>\n"                                                         // 19
    "  <ShowNewFilesPrompt>1</ShowNewFilesPrompt>\n"                                      // 20
    "  <DefaultNewFilesAnswer>0</DefaultNewFilesAnswer>\n"
    "  <modifies>\n"                                                                      // 22
    "    <patch path=\"/install/Edition\" new_val=\"Standard\"/>\n"                        // 23
    "  </modifies>\n"
    "  <systemRequirements cpuFreqMHz=\"1000\" hddMBytes=\"500\" ramMBytes=\"512\"/>\n"   // 25
    "</locations>\n";

const char kX86Files[] =
    "<file name=\"kit.cab\" relative_path=\"\" autorun=\"false\" base_url=\"\"/>\n"
    "      <file name=\"setup.exe\" relative_path=\"bin\" autorun=\"true\" base_url=\"\"/>";

struct Expected {
  Severity severity;
  int line;
  const char* phrase;
};

struct Case {
  const char* what;
  std::string from;  // first occurrence replaced; the line count stays
  std::string to;
  int exitCode;
  std::vector<Expected> findings;
};

const Severity E = Severity::kError;
const Severity W = Severity::kWarning;

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::vector<Case> kCases = {
    {"clean", "", "", 0, {}},
    {"leading blanks read as written", "hddMBytes=\"500\"", "hddMBytes=\"  500\"", 0, {}},
    // Requirements or patches that will not be read.
    {"blank modifies", "<patch path=\"/install/Edition\" new_val=\"Standard\"/>", "   ", 2,
     {{E, 22, "<systemRequirements> (line 25) is ignored"}}},
    {"no modifies", "<modifies>\n    <patch path=\"/install/Edition\" new_val=\"Standard\"/>\n  </modifies>", "\n\n", 2,
     {{E, 25, "there is no <modifies>"}}},
    {"empty file list on 32-bit", kX86Files, "\n", 2,
     {{E, 5, "on 32-bit Windows kitfetcher fetches no files and stops reading here, so the patches (line 22)"}}},
    {"no base_url for x64", "<base_url>http://kits.example/x64/%s</base_url>", "", 2,
     {{E, 10, "on 64-bit Windows kitfetcher reads nothing else"}}},
    {"misspelt requirements", "<systemRequirements", "<SystemRequirements", 2,
     {{E, 25, "letter case matters: this <SystemRequirements> is ignored"}}},
    {"second language", "<language>EN</language>", "<language>EN</language><language>DE</language>", 2,
     {{E, 19, "a second <language>: kitfetcher reads only the one on line 19"}}},
    // Entries that will be dropped.
    {"file without base_url", "autorun=\"false\" base_url=\"\"", "autorun=\"false\"", 2,
     {{E, 6, "drops this file entry: it lacks base_url"}}},
    {"patch without new_val", " new_val=\"Standard\"", "", 2, {{E, 23, "drops this patch: it lacks new_val"}}},
    {"text among the patches", "  </modifies>", "  note</modifies>", 1,
     {{W, 24, "text inside <modifies> is no entry"}}},
    // Base URL templates.
    {"no %s", "x86/%s", "x86/en", 2, {{E, 4, "has no %s"}}},
    {"two %s", "x64/%s", "%s/x64/%s", 2, {{E, 11, "has 2 %s"}}},
    {"entry's own template without %s", "autorun=\"false\" base_url=\"\"", "autorun=\"false\" base_url=\"http://cdn/\"",
     2, {{E, 6, "base_url \"http://cdn/\" has no %s"}}},
    // Names kitfetcher refuses as folder names; what Windows changes.
    {"maker climbs out", ">Maker<", ">..\\Maker<", 2, {{E, 17, "path separator"}}},
    {"maker is a device", ">Maker<", ">com1.log<", 2, {{E, 17, "names a Windows device"}}},
    {"relative path with a stream", "relative_path=\"bin\"", "relative_path=\"bin:data\"", 2,
     {{E, 7, "relative_path \"bin:data\" holds a colon"}}},
    {"file name with a wildcard", "name=\"kit.cab\"", "name=\"kit?.cab\"", 2, {{E, 6, "kitfetcher skips this entry"}}},
    {"maker with a trailing dot", ">Maker<", ">Maker Inc.<", 1, {{W, 17, "it becomes \"Maker Inc\""}}},
    // Values over the reader's lengths.
    {"maker of 100 characters", ">Maker<", ">" + std::string(100, 'm') + "<", 2, {{E, 17, "100 characters long"}}},
    {"maker of 100 UTF-16 units", ">Maker<", ">" + Repeat("\xF0\x9D\x84\x9E", 50) + "<", 2,
     {{E, 17, "100 characters long"}}},
    {"requirement of 20 characters", "cpuFreqMHz=\"1000\"", "cpuFreqMHz=\"00000000000000001000\"", 2,
     {{E, 25, "over kitfetcher's 19 characters"}}},
    {"URL over 259", "x86/%s", Repeat("u", 230) + "/%s", 2, {{E, 6, "is over 259"}}},
    // Numbers that do not read as written.
    {"unit after the number", "cpuFreqMHz=\"1000\"", "cpuFreqMHz=\"1500MHz\"", 2, {{E, 25, "reads as 1500"}}},
    {"no number", "ramMBytes=\"512\"", "ramMBytes=\"lots\"", 2, {{E, 25, "reads as 0"}}},
    {"over 32 bits", "hddMBytes=\"500\"", "hddMBytes=\"99999999999\"", 2, {{E, 25, "reads as 2147483647"}}},
    {"flag written as a word", "<ShowNewFilesPrompt>1<", "<ShowNewFilesPrompt>true<", 2, {{E, 20, "reads as 0"}}},
    {"flag written as no", "<ShowNewFilesPrompt>1<", "<ShowNewFilesPrompt>no<", 1, {{W, 20, "reads as 0"}}},
    {"autorun True", "autorun=\"true\"", "autorun=\"True\"", 2, {{E, 7, "reads as false"}}},
    // Odd but legal.
    {"empty maker", ">Maker<", "><", 1, {{W, 17, "<manufacturerName> is empty"}}},
    {"sub-folder file an update leaves out", "relative_path=\"bin\" autorun=\"true\"",
     "relative_path=\"bin\" autorun=\"false\"", 1, {{W, 7, "looks for this file (not autorun) at the package's top"}}},
    {"entry for one architecture", "<file name=\"kit.cab\" relative_path=\"\" autorun=\"false\" base_url=\"\"/>\n      "
     "<file name=\"setup.exe\" relative_path=\"bin\" autorun=\"true\" base_url=\"\"/>\n    </downloadable_files>\n  "
     "</x86>\n  <x64>\n    <base_url>http://kits.example/x64/%s</base_url>\n    <downloadable_files>\n      "
     "<file name=\"kit.cab\"",
     "<file name=\"kit.cab\" relative_path=\"\" autorun=\"false\" base_url=\"\"/>\n      "
     "<file name=\"setup.exe\" relative_path=\"bin\" autorun=\"true\" base_url=\"\"/>\n    </downloadable_files>\n  "
     "</x86>\n  <x64>\n    <base_url>http://kits.example/x64/%s</base_url>\n    <downloadable_files>\n      "
     "<file name=\"kit64.cab\"",
     1, {{W, 6, "kit.cab is listed for x86 only"}, {W, 13, "kit64.cab is listed for x64 only"}}},
    // Input kitfetcher cannot read at all.
    {"undefined entity", ">Maker<", ">&maker;<", 3, {{E, 17, "no known entity"}}},
    {"broken UTF-8", ">Maker<", ">Mak\xC3<", 3, {{E, 17, "not valid UTF-8"}}},
    {"two roots", "</locations>\n", "</locations>\n<locations/>\n", 3, {{E, 27, "more than one root element"}}},
};

std::string Apply(const Case& c) {
  std::string doc = kClean;
  if (c.from.empty()) return doc;
  size_t at = doc.find(c.from);
  EXPECT_NE(std::string::npos, at) << c.from;
  if (at != std::string::npos) doc.replace(at, c.from.size(), c.to);
  return doc;
}

std::string Describe(const Findings& findings) {
  std::string out;
  for (const Finding& f : findings.All()) {
    out += std::to_string(f.line) + (f.severity == E ? " error: " : " warning: ") + f.text + "\n";
  }
  return out;
}

void ExpectFindings(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LocationsCheck check = CheckLocationsText(Apply(c));
    std::string all = Describe(check.findings);
    EXPECT_EQ(c.exitCode, check.ExitCode()) << all;
    if (c.findings.empty()) {
      EXPECT_EQ("", all);
    }
    for (const Expected& e : c.findings) {
      bool found = false;
      for (const Finding& f : check.findings.All()) {
        found = found || (f.severity == e.severity && f.line == e.line && f.text.find(e.phrase) != std::string::npos);
      }
      EXPECT_TRUE(found) << "wanted line " << e.line << ": " << e.phrase << "\nfound:\n" << all;
    }
  }
}

TEST(LocationsCheck, EachClassOfFindingWithItsLineAndExitCode) { ExpectFindings(kCases); }

// A PUBLICKEYBLOB as kitfetcher imports it, built byte by byte; the modulus
// need not be a real one for the checks of its shape.
std::string Blob(uint32_t bits, uint32_t exponent = 65537, uint32_t algorithm = 0x2400, const char* magic = "RSA1",
                 size_t cut = 0, unsigned char top = 0xC1) {
  std::string blob = {0x06, 0x02, 0x00, 0x00};
  for (uint32_t field : {algorithm, 0u, bits, exponent}) {
    for (int i = 0; i < 4; ++i) blob += static_cast<char>((field >> (8 * i)) & 0xFF);
  }
  blob.replace(8, 4, magic);
  blob += std::string(bits / 8 - 1, '\x5B') + static_cast<char>(top);
  return blob.substr(0, blob.size() - cut);
}

std::string Base64(const std::string& bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]),
                               reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  return text.substr(0, static_cast<size_t>(length));
}

// The clean description with a trust element on line 26, before </locations>.
Case Trust(const char* what, const std::string& attributes, int exitCode, std::vector<Expected> findings) {
  return Case{what, "</locations>", "<trust " + attributes + "/></locations>", exitCode, findings};
}

std::string Key(const std::string& blob) { return "key=\"" + Base64(blob) + "\""; }

TEST(LocationsCheck, TrustElement) {
  const std::string good = Key(Blob(2048));
  const std::string key = Base64(Blob(3072));  // 404 bytes: ends in one '='
  std::string nonzeroPadBits = key;
  nonzeroPadBits[nonzeroPadBits.size() - 2] = static_cast<char>(nonzeroPadBits[nonzeroPadBits.size() - 2] + 1);
  const std::vector<Case> cases = {
      Trust("smallest key", good + " minSerial=\"0\"", 0, {}),
      Trust("largest key and key2, highest minimum",
            Key(Blob(4096)) + " key2=\"" + key + "\" minSerial=\"4294967295\" removalLibrary=\"" +
                std::string(64, 'F') + "\"",
            0, {}),
      Trust("no key", "minSerial=\"1\"", 2, {{E, 26, "<trust> has no key: kitfetcher refuses every kit"}}),
      Trust("1024 bits", Key(Blob(1024)), 2, {{E, 26, "has 1024 bits"}}),
      Trust("4104 bits", Key(Blob(4104)), 2, {{E, 26, "has 4104 bits"}}),
      Trust("bit length no multiple of 8", Key(Blob(2052)), 2, {{E, 26, "not a multiple of 8"}}),
      Trust("one byte short", Key(Blob(2048, 65537, 0x2400, "RSA1", 1)), 2, {{E, 26, "is 275 bytes long"}}),
      Trust("modulus under its bit length", Key(Blob(2048, 65537, 0x2400, "RSA1", 0, 0x7F)), 2,
            {{E, 26, "the top bit is not set"}}),
      Trust("exponent 1", Key(Blob(2048, 1)), 2, {{E, 26, "public exponent 1"}}),
      Trust("exchange key", Key(Blob(2048, 65537, 0xA400)), 2, {{E, 26, "CALG_RSA_SIGN"}}),
      Trust("private key blob", Key(Blob(2048, 65537, 0x2400, "RSA2")), 2, {{E, 26, "no RSA1 magic"}}),
      Trust("line break in the key", "key=\"" + key.substr(0, 76) + "\n" + key.substr(76) + "\"", 2,
            {{E, 26, "is not base64"}}),
      Trust("padding left out", "key=\"" + key.substr(0, key.size() - 1) + "\"", 2, {{E, 26, "is not base64"}}),
      Trust("padding bits not zero", "key=\"" + nonzeroPadBits + "\"", 2, {{E, 26, "is not base64"}}),
      Trust("broken key2 beside a good key", good + " key2=\"AAAA\"", 2,
            {{E, 26, "key2: the key blob is shorter than the 20 bytes"}}),
      Trust("minimum with a leading zero", good + " minSerial=\"07\"", 2, {{E, 26, "minSerial=\"07\" is not"}}),
      Trust("minimum over 32 bits", good + " minSerial=\"4294967296\"", 2, {{E, 26, "minSerial=\"4294967296\""}}),
      Trust("empty minimum", good + " minSerial=\"\"", 2, {{E, 26, "minSerial=\"\" is not"}}),
      Trust("removal digest of 63 digits", good + " removalLibrary=\"" + std::string(63, 'a') + "\"", 2,
            {{E, 26, "is not the 64 hex digits of a SHA-256"}}),
      Trust("attribute in the wrong case", good + " minserial=\"1\"", 2, {{E, 26, "kitfetcher reads minSerial"}}),
      Trust("unknown attribute", good + " note=\"x\"", 1, {{W, 26, "does not read the attribute note"}}),
      Trust("a second trust element", good + "/><trust " + good, 2, {{E, 26, "a second <trust>"}}),
      {"trust inside x86", "  </x86>", "<trust " + good + "/></x86>", 2,
       {{E, 9, "<trust> inside <x86>: kitfetcher reads <trust> only as a child of <locations>"}}},
      {"misspelt trust", "</locations>", "<Trust " + good + "/></locations>", 2,
       {{E, 26, "letter case matters: this <Trust> is ignored"}}},
  };
  ExpectFindings(cases);

  LocationsCheck check =
      CheckLocationsText(Apply(Trust("read", good + " key2=\"" + key + "\" minSerial=\"7\"", 0, {})));
  ASSERT_TRUE(check.trust.present);
  ASSERT_EQ(2u, check.trust.keys.size());
  EXPECT_EQ(Blob(3072), check.trust.keys[1].blob);
  EXPECT_EQ(7u, check.trust.minSerial);
  EXPECT_FALSE(CheckLocationsText(kClean).trust.present);
}

TEST(FolderNames, WhatWindowsAcceptsLessWhatLeavesTheFolderOrNamesADevice) {
  const struct {
    const char* name;
    NameVerdict verdict;
  } cases[] = {
      {"Maker", NameVerdict::kPlain},       {"COM0", NameVerdict::kPlain},        {"CONSOLE", NameVerdict::kPlain},
      {"Acme Inc.", NameVerdict::kStripped}, {"Maker ", NameVerdict::kStripped},   {"", NameVerdict::kRefused},
      {".", NameVerdict::kRefused},          {"..", NameVerdict::kRefused},        {". .", NameVerdict::kRefused},
      {"a/b", NameVerdict::kRefused},        {"a\\b", NameVerdict::kRefused},      {"\\\\srv\\x", NameVerdict::kRefused},
      {"C:", NameVerdict::kRefused},         {"a:stream", NameVerdict::kRefused},  {"nul", NameVerdict::kRefused},
      {"CON.txt", NameVerdict::kRefused},    {"LPT9.a.b", NameVerdict::kRefused},  {"aux .x", NameVerdict::kRefused},
      {"CONOUT$", NameVerdict::kRefused},    {"a<b", NameVerdict::kRefused},       {"a\tb", NameVerdict::kRefused},
      {"a|b", NameVerdict::kRefused},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<int>(c.verdict), static_cast<int>(CheckFolderName(c.name).verdict)) << c.name;
  }
}

}  // namespace
}  // namespace kitpack
