#include "trust_check.h"

#include "kit_signing.h"
#include "locations_reading.h"
#include "manifest_text.h"
#include "text_units.h"

namespace kitpack {

namespace {

const char kTrustPath[] = "//locations/trust";
const char* const kTrustAttributes[] = {"key", "key2", "minSerial", "removalLibrary"};
const char kEveryKitRefused[] = ": kitfetcher refuses every kit";

std::string Shown(const std::string& value) {
  return value.size() > 40 ? "\"" + value.substr(0, 32) + "...\"" : "\"" + value + "\"";
}

// Elements called trust (in any letter case) outside <locations>: the vendor
// meant to pin keys, and kitfetcher, which reads only <locations>' own
// child, takes the kit unsigned.
void CheckPlaces(const XmlSource& source, Findings& findings) {
  for (pugi::xpath_node found : source.Document().select_nodes("//*")) {
    pugi::xml_node node = found.node();
    if (!EqualsIgnoringCase(node.name(), "trust")) continue;
    bool inLocations = std::string(node.parent().name()) == "locations";
    if (inLocations) continue;  // a misspelt child of <locations> is the shape check's
    std::string parent = node.parent().name();
    findings.Error(source.LineOf(node), "<" + std::string(node.name()) + "> " +
                                            (parent.empty() ? "as the root" : "inside <" + parent + ">") +
                                            ": kitfetcher reads <trust> only as a child of <locations>, so this "
                                            "one pins nothing and every kit is taken unsigned");
  }
}

void ReadKey(const XmlSource& source, const pugi::xml_node& element, const char* name, TrustPin& trust,
             Findings& findings) {
  pugi::xml_attribute attribute = element.attribute(name);
  if (!attribute) return;
  int line = source.LineOf(element);
  std::string value = attribute.value();
  std::string consequence = std::string(name) == "key" ? kEveryKitRefused : ": kitfetcher cannot use it";
  std::string blob;
  if (!DecodeBase64(value, blob)) {
    findings.Error(line, std::string(name) + "=" + Shown(value) +
                             " is not base64 on one line (RFC 4648 alphabet, '=' padding, no blanks)" + consequence);
    return;
  }
  PublicKeyBlob fields;
  std::string problem = ParsePublicKeyBlob(blob, fields);
  if (!problem.empty()) {
    findings.Error(line, std::string(name) + ": the key blob " + problem + consequence);
    return;
  }
  trust.keys.push_back(TrustKey{name, blob, fields.bits});
}

}  // namespace

std::string KeyFingerprint(const std::string& blob) { return Sha256Hex(blob).substr(0, 16); }

bool TrustPin::Pins(const std::string& blob) const {
  for (const TrustKey& key : keys) {
    if (key.blob == blob) return true;
  }
  return false;
}

TrustPin ReadTrust(const XmlSource& source, Findings& findings) {
  TrustPin trust;
  CheckPlaces(source, findings);
  pugi::xpath_node_set all = source.Document().select_nodes(kTrustPath);
  if (all.empty()) return trust;
  all.sort();
  pugi::xml_node element = all.first().node();
  trust.present = true;
  trust.line = source.LineOf(element);
  for (size_t i = 1; i < all.size(); ++i) {
    findings.Error(source.LineOf(all[i].node()), "a second <trust> (the first is on line " +
                                                     std::to_string(trust.line) +
                                                     "): a description pins its keys in one element");
  }
  for (pugi::xml_attribute attribute : element.attributes()) {
    std::string name = attribute.name();
    std::string nearMiss;
    bool known = false;
    for (const char* k : kTrustAttributes) {
      if (name == k) known = true;
      else if (EqualsIgnoringCase(name, k)) nearMiss = k;
    }
    if (known) continue;
    if (!nearMiss.empty()) {
      findings.Error(trust.line, "kitfetcher reads " + nearMiss + ", and letter case matters: " + name + " is ignored");
    } else {
      findings.Warning(trust.line, "kitfetcher does not read the attribute " + name + " of <trust>");
    }
  }
  if (!element.attribute("key")) findings.Error(trust.line, std::string("<trust> has no key") + kEveryKitRefused);
  ReadKey(source, element, "key", trust, findings);
  ReadKey(source, element, "key2", trust, findings);
  if (pugi::xml_attribute minimum = element.attribute("minSerial")) {
    if (!ParseDecimal(minimum.value(), kSerialMax, trust.minSerial)) {
      findings.Error(trust.line, "minSerial=" + Shown(minimum.value()) +
                                     " is not a decimal number of 0..4294967295 without sign, blanks or leading "
                                     "zeros" + kEveryKitRefused);
    }
  }
  if (pugi::xml_attribute library = element.attribute("removalLibrary")) {
    std::string value = library.value();
    if (value.size() != 64 || value.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
      findings.Error(trust.line, "removalLibrary=" + Shown(value) + " is not the 64 hex digits of a SHA-256" +
                                     kEveryKitRefused);
    } else {
      trust.removalLibrary = AsciiLower(value);
    }
  }
  return trust;
}

std::string TrustElementFor(const std::string& blob) {
  return "<trust key=\"" + EncodeBase64(blob) + "\" minSerial=\"1\"/>";
}

void PrintTrustSummary(std::ostream& out, const TrustPin& trust) {
  if (!trust.present) {
    out << "Trust: none; kitfetcher checks no signature and takes the kit files as they come\n";
    return;
  }
  out << "Trust (line " << trust.line << "): kitfetcher installs only kits signed by\n";
  for (const TrustKey& key : trust.keys) {
    out << "  " << key.attribute << ": " << key.bits << "-bit RSA, fingerprint " << KeyFingerprint(key.blob) << "\n";
  }
  if (trust.keys.empty()) out << "  no usable key: every kit is refused\n";
  out << "  minimum serial: " << trust.minSerial << "\n"
      << "  removal library: "
      << (trust.removalLibrary.empty() ? "not pinned, so kitfetcher never loads wipekit.dll"
                                       : "wipekit.dll with SHA-256 " + trust.removalLibrary)
      << "\n";
}

}  // namespace kitpack
