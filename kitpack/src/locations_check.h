// `kitpack check`: every place where kitfetcher's reader would silently drop,
// ignore or default something in a kit description.
#pragma once
#include <string>

#include "findings.h"
#include "kit_view.h"
#include "trust_check.h"
#include "xml_source.h"

namespace kitpack {

struct LocationsCheck {
  bool readable = false;
  Findings findings;
  KitView x86;
  KitView x64;
  TrustPin trust;
  const KitView& View(Arch arch) const { return arch == Arch::kX64 ? x64 : x86; }
  int ExitCode() const { return readable ? findings.ExitCode() : kExitUnreadable; }
};

LocationsCheck CheckLocationsText(const std::string& bytes);
LocationsCheck CheckLocationsFile(const std::string& path);

// The parts of the check, each over the loaded document.
void CheckDocumentShape(const XmlSource& source, Findings& findings);
void CheckSections(const XmlSource& source, const LocationsCheck& check, Findings& findings);
void CheckEntries(const XmlSource& source, const LocationsCheck& check, Findings& findings);

// A text that evidently means "yes" (true, yes, on, a number other than 0).
bool MeansYes(const std::string& text);

}  // namespace kitpack
