// The document's single fields, per kind of Windows: where reading stops,
// the base URL, the names, the flags and the minimums.
#include <algorithm>
#include <string>

#include "folder_names.h"
#include "kit_url.h"
#include "locations_check.h"
#include "locations_reading.h"
#include "text_units.h"

namespace kitpack {

namespace {

const char kDefaultMinimums[] = "the minimums stay 800 MHz, 800 MiB disk and 1000 MiB memory";

std::string LineNote(const XmlSource& source, const pugi::xml_node& node) {
  return " (line " + std::to_string(source.LineOf(node)) + ")";
}

void CheckTemplate(const XmlSource& source, const pugi::xml_node& node, const std::string& templ,
                   const std::string& what, Findings& findings) {
  std::string problem = LanguageSlotProblem(templ);
  if (!problem.empty()) findings.Error(source.LineOf(node), what + " \"" + templ + "\" " + problem);
}

// Where the reading ends early for one kind of Windows, and what that loses.
void CheckStop(const XmlSource& source, Arch arch, const KitView& view, Findings& findings) {
  const pugi::xml_document& doc = source.Document();
  const std::string on = std::string(" on ") + ArchWindows(arch);
  pugi::xml_node requirements = SelectFirst(doc, kRequirementsPath);
  pugi::xml_node patches = SelectFirst(doc, kPatchListPath);
  switch (view.stop) {
    case ReadStop::kNoBaseUrl: {
      pugi::xml_node baseUrl = SelectFirst(doc, BaseUrlPath(arch).c_str());
      pugi::xml_node branch = SelectFirst(doc, (std::string("//locations/") + ArchName(arch)).c_str());
      int line = source.LineOf(baseUrl ? baseUrl : branch ? branch : doc.document_element());
      std::string what = baseUrl ? "the <base_url> of <" + std::string(ArchName(arch)) + "> is empty"
                                 : "there is no <base_url> in an <" + std::string(ArchName(arch)) + ">";
      findings.Error(line, what + ":" + on + " kitfetcher reads nothing else of this document (no names, files, "
                                            "patches or minimums)");
      break;
    }
    case ReadStop::kEmptyFileList: {
      pugi::xml_node list = SelectFirst(doc, FileListPath(arch).c_str());
      std::string lost;
      if (patches && patches.first_child()) lost += "the patches" + LineNote(source, patches);
      if (requirements) lost += std::string(lost.empty() ? "" : " and ") + "<systemRequirements>" + LineNote(source, requirements);
      std::string text = "<downloadable_files> of <" + std::string(ArchName(arch)) + "> has no entries:" + on +
                         " kitfetcher fetches no files and stops reading here";
      if (lost.empty()) findings.Warning(source.LineOf(list), text);
      else findings.Error(source.LineOf(list), text + ", so " + lost + " are ignored and " + kDefaultMinimums);
      break;
    }
    case ReadStop::kNoPatchList:
      if (requirements) {
        findings.Error(source.LineOf(requirements), "there is no <modifies>, and kitfetcher reads <systemRequirements> "
                                                    "only after one with entries: this one is ignored and " +
                                                        std::string(kDefaultMinimums));
      }
      break;
    case ReadStop::kEmptyPatchList:
      if (requirements) {
        findings.Error(source.LineOf(patches), "<modifies> has no entries (it is empty or blank): kitfetcher stops "
                                               "reading here, so <systemRequirements>" + LineNote(source, requirements) +
                                                   " is ignored and " + kDefaultMinimums);
      } else {
        findings.Warning(source.LineOf(patches), "<modifies> has no entries");
      }
      break;
    case ReadStop::kNone:
    case ReadStop::kNoRequirements:
      break;
  }
  if (view.stop != ReadStop::kNoBaseUrl && !SelectFirst(doc, FileListPath(arch).c_str())) {
    findings.Warning(source.LineOf(SelectFirst(doc, BaseUrlPath(arch).c_str())),
                     "there is no <downloadable_files> in <" + std::string(ArchName(arch)) + ">:" + on +
                         " kitfetcher fetches no files");
  }
}

// A name field: kept empty when too long; the maker's name also names a folder.
void CheckName(const XmlSource& source, const char* element, bool isFolder, Findings& findings) {
  pugi::xml_node node = SelectFirst(source.Document(), (std::string("//locations/") + element).c_str());
  std::string tag = std::string("<") + element + ">";
  if (!node) {
    findings.Warning(source.LineOf(SelectFirst(source.Document(), "//locations")),
                     "there is no " + tag + ": kitfetcher leaves it empty");
    return;
  }
  int line = source.LineOf(node);
  std::string text = ElementText(node);
  if (Utf16Units(text) > kNameMaxUnits) {
    findings.Error(line, tag + " is " + std::to_string(Utf16Units(text)) +
                             " characters long, over kitfetcher's 99: it keeps the field empty");
    return;
  }
  if (text.empty()) {
    findings.Warning(line, tag + " is empty" + (isFolder ? ": the kit goes straight into Common Files\\SetupInformation" : ""));
    return;
  }
  if (!isFolder) return;
  NameCheck name = CheckFolderName(text);
  if (name.verdict == NameVerdict::kRefused) {
    findings.Error(line, tag + " \"" + text + "\" " + name.reason +
                             ": kitfetcher refuses it as a folder name and installs nothing");
  } else if (name.verdict == NameVerdict::kStripped) {
    findings.Warning(line, tag + " \"" + text + "\" " + name.reason);
  }
}

void CheckLanguage(const XmlSource& source, Findings& findings) {
  pugi::xml_node node = SelectFirst(source.Document(), "//locations/language");
  std::string text = node ? ElementText(node) : std::string();
  int line = source.LineOf(node ? node : SelectFirst(source.Document(), "//locations"));
  if (Utf16Units(text) > kNameMaxUnits) {
    findings.Error(line, "<language> is over kitfetcher's 99 characters: it keeps the language empty, and every %s "
                         "of the base URLs with it");
  } else if (text.empty()) {
    findings.Warning(line, "there is no language: every %s of the base URLs becomes empty");
  } else if (CheckFolderName(AsciiLower(text)).verdict != NameVerdict::kPlain) {
    findings.Warning(line, "<language> \"" + text + "\" " + CheckFolderName(AsciiLower(text)).reason +
                               ": it cannot name the language's folder on the server");
  }
}

void CheckFlag(const XmlSource& source, const char* element, Findings& findings) {
  pugi::xml_node node = SelectFirst(source.Document(), (std::string("//locations/") + element).c_str());
  if (!node) return;
  std::string text = ElementText(node);
  if (text == "1" || text == "0") return;
  std::string sentence = std::string("<") + element + "> \"" + text +
                         "\" reads as 0 (off): kitfetcher keeps a flag on only for exactly 1";
  if (MeansYes(text)) findings.Error(source.LineOf(node), sentence);
  else findings.Warning(source.LineOf(node), sentence);
}

// Blanks, a sign and decimal digits whose value is what the reader got.
bool ReadsAsWritten(const std::string& value, int read) {
  std::string written = TrimXmlBlanks(value);
  size_t sign = !written.empty() && (written[0] == '+' || written[0] == '-') ? 1 : 0;
  if (written.size() == sign || written.find_first_not_of("0123456789", sign) != std::string::npos) return false;
  std::string digits = written.substr(sign);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
  if (digits.size() > 10) return false;
  long long number = std::stoll(digits);
  return (written[0] == '-' ? -number : number) == read;
}

void CheckRequirements(const XmlSource& source, Findings& findings) {
  pugi::xml_node node = SelectFirst(source.Document(), kRequirementsPath);
  if (!node) return;
  int line = source.LineOf(node);
  const char* const known[] = {"cpuFreqMHz", "hddMBytes", "ramMBytes"};
  for (pugi::xml_attribute attribute : node.attributes()) {
    std::string name = attribute.name();
    std::string value = attribute.value();
    std::string nearMiss;
    bool isKnown = false;
    for (const char* k : known) {
      if (name == k) isKnown = true;
      else if (EqualsIgnoringCase(name, k)) nearMiss = k;
    }
    if (!isKnown) {
      if (!nearMiss.empty()) findings.Error(line, "kitfetcher reads " + nearMiss + ", and letter case matters: " + name + " is ignored");
      else findings.Warning(line, "kitfetcher does not read the attribute " + name + " of <systemRequirements>");
      continue;
    }
    std::string shown = name + "=\"" + value + "\"";
    if (Utf16Units(value) > kRequirementMaxUnits) {
      findings.Error(line, shown + " is over kitfetcher's 19 characters: it keeps the default minimum");
      continue;
    }
    int read = ReadDecimal(value);
    if (!ReadsAsWritten(value, read)) {
      findings.Error(line, shown + " reads as " + std::to_string(read) + ", not as written");
      continue;
    }
    if (read < 0) findings.Warning(line, shown + " is negative: every machine passes this minimum");
  }
}

}  // namespace

void CheckSections(const XmlSource& source, const LocationsCheck& check, Findings& findings) {
  bool anyRead = false;
  for (Arch arch : {Arch::kX86, Arch::kX64}) {
    const KitView& view = check.View(arch);
    CheckStop(source, arch, view, findings);
    if (view.stop == ReadStop::kNoBaseUrl) continue;
    anyRead = true;
    CheckTemplate(source, SelectFirst(source.Document(), BaseUrlPath(arch).c_str()), view.baseUrl,
                  std::string("the <base_url> of <") + ArchName(arch) + ">", findings);
  }
  if (!anyRead) return;
  CheckName(source, "manufacturerName", true, findings);
  CheckName(source, "defaultProductName", false, findings);
  CheckLanguage(source, findings);
  CheckFlag(source, "ShowNewFilesPrompt", findings);
  CheckFlag(source, "DefaultNewFilesAnswer", findings);
  CheckRequirements(source, findings);
}

}  // namespace kitpack
