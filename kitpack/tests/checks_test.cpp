// kitpack check on one small description, changed one place at a time: each
// class of finding, its severity, its line and the exit code it makes.
#include <gtest/gtest.h>

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

TEST(LocationsCheck, EachClassOfFindingWithItsLineAndExitCode) {
  for (const Case& c : kCases) {
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
