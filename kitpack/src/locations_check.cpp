#include "locations_check.h"

#include "locations_reading.h"
#include "text_units.h"

namespace kitpack {

bool MeansYes(const std::string& text) {
  std::string t = AsciiLower(TrimXmlBlanks(text));
  if (t == "true" || t == "yes" || t == "on" || t == "y") return true;
  return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos &&
         t.find_first_not_of('0') != std::string::npos;
}

namespace {

LocationsCheck CheckLoaded(const XmlSource& source, bool loaded) {
  LocationsCheck check;
  if (!loaded) {
    check.findings.Error(source.ProblemLine(), "the document " + source.Problem() + ": kitfetcher reads nothing of it");
    return check;
  }
  check.readable = true;
  check.x86 = ReadKitView(source, Arch::kX86);
  check.x64 = ReadKitView(source, Arch::kX64);
  CheckDocumentShape(source, check.findings);
  CheckSections(source, check, check.findings);
  CheckEntries(source, check, check.findings);
  check.trust = ReadTrust(source, check.findings);
  return check;
}

}  // namespace

LocationsCheck CheckLocationsText(const std::string& bytes) {
  XmlSource source;
  bool loaded = source.LoadText(bytes);
  return CheckLoaded(source, loaded);
}

LocationsCheck CheckLocationsFile(const std::string& path) {
  XmlSource source;
  bool loaded = source.Load(path);
  return CheckLoaded(source, loaded);
}

}  // namespace kitpack
