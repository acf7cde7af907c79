#include "manifest_text.h"

#include <set>
#include <utility>

#include "text_units.h"

namespace kitpack {

namespace {

const char kVersionLine[] = "kitmanifest 1";
const char kProductPrefix[] = "product ";
const char kSerialPrefix[] = "serial ";
const size_t kProductMaxChars = 99;

std::string ProductProblem(const std::string& code) {
  if (code.empty() || code.size() > kProductMaxChars) return "the product code is not 1 to 99 characters long";
  for (unsigned char c : code) {
    if (c < 0x21 || c > 0x7E) return "the product code holds a character outside 0x21..0x7E";
  }
  return std::string();
}

bool IsLowerHex(const std::string& text, size_t length) {
  return text.size() == length && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1) {
    parts.push_back(text.substr(from, at - from));
  }
  parts.push_back(text.substr(from));
  return parts;
}

}  // namespace

bool ParseDecimal(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  value = 0;
  for (char c : text) {
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (max - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

std::string ManifestFieldProblem(const std::string& field, bool mayBeEmpty) {
  if (field.empty()) return mayBeEmpty ? std::string() : "is empty";
  if (field.find_first_of(std::string("\t\n\r\0/\\", 6)) != std::string::npos) {
    return "holds a tab, a line break, a NUL or a path separator";
  }
  if (FirstInvalidUtf8(field) != std::string::npos) return "is not valid UTF-8";
  return std::string();
}

std::string FormatManifest(const Manifest& manifest, std::string& why) {
  why = ProductProblem(manifest.product);
  if (why.empty() && manifest.serial > kSerialMax) why = "the serial is over " + std::to_string(kSerialMax);
  std::string text = std::string(kVersionLine) + "\n" + kProductPrefix + manifest.product + "\n" + kSerialPrefix +
                     std::to_string(manifest.serial) + "\n";
  std::set<std::pair<std::string, std::string>> seen;
  for (const ManifestLine& line : manifest.files) {
    if (!why.empty()) break;
    std::string problem = ManifestFieldProblem(line.relativePath, true);
    if (!problem.empty()) why = "the relative path \"" + line.relativePath + "\" " + problem;
    problem = ManifestFieldProblem(line.name, false);
    if (why.empty() && !problem.empty()) why = "the name \"" + line.name + "\" " + problem;
    if (why.empty() && !IsLowerHex(line.sha256, 64)) why = "the SHA-256 of " + line.name + " is not 64 hex digits";
    if (why.empty() && !seen.insert({line.relativePath, line.name}).second) {
      why = line.relativePath + "/" + line.name + " is listed twice";
    }
    text += "file\t" + line.relativePath + "\t" + line.name + "\t" + std::to_string(line.size) + "\t" + line.sha256 +
            "\n";
  }
  if (why.empty() && text.size() > kManifestMaxBytes) {
    why = "the manifest would be over 1 MiB, which kitfetcher refuses";
  }
  if (!why.empty()) text.clear();
  return text;
}

std::string ParseManifest(const std::string& bytes, Manifest& manifest) {
  manifest = Manifest();
  if (bytes.size() > kManifestMaxBytes) return "it is over 1 MiB";
  if (bytes.empty() || bytes.back() != '\n') return "it does not end with a line feed";
  if (bytes.find('\r') != std::string::npos) return "it holds a carriage return";
  if (FirstInvalidUtf8(bytes) != std::string::npos) return "it is not valid UTF-8";
  std::vector<std::string> lines = Split(bytes.substr(0, bytes.size() - 1), '\n');
  if (lines.size() < 3 || lines[0] != kVersionLine) return "line 1 is not \"kitmanifest 1\"";
  if (lines[1].compare(0, sizeof kProductPrefix - 1, kProductPrefix) != 0) return "line 2 is not \"product CODE\"";
  manifest.product = lines[1].substr(sizeof kProductPrefix - 1);
  std::string problem = ProductProblem(manifest.product);
  if (!problem.empty()) return "line 2: " + problem;
  if (lines[2].compare(0, sizeof kSerialPrefix - 1, kSerialPrefix) != 0 ||
      !ParseDecimal(lines[2].substr(sizeof kSerialPrefix - 1), kSerialMax, manifest.serial)) {
    return "line 3 is not \"serial N\" with N a decimal number of 0..4294967295";
  }
  std::set<std::pair<std::string, std::string>> seen;
  for (size_t i = 3; i < lines.size(); ++i) {
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    std::vector<std::string> fields = Split(lines[i], '\t');
    if (fields.size() != 5 || fields[0] != "file") return where + "not a file line of five tab-separated fields";
    ManifestLine line;
    line.relativePath = fields[1];
    line.name = fields[2];
    line.sha256 = fields[4];
    problem = ManifestFieldProblem(line.relativePath, true);
    if (!problem.empty()) return where + "the relative path " + problem;
    problem = ManifestFieldProblem(line.name, false);
    if (!problem.empty()) return where + "the name " + problem;
    if (!ParseDecimal(fields[3], UINT64_MAX, line.size)) return where + "the size is not a decimal number";
    if (!IsLowerHex(line.sha256, 64)) return where + "the SHA-256 is not 64 lower-case hex digits";
    if (!seen.insert({line.relativePath, line.name}).second) return where + "a second line for the same file";
    manifest.files.push_back(line);
  }
  return std::string();
}

}  // namespace kitpack
