#include "xml_source.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "text_units.h"

namespace kitpack {

namespace {

// Windows-1252's printable characters in 0x80..0x9F; 0 where it has none.
const unsigned short kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The encoding named by the XML declaration, lower-cased; empty without one.
std::string DeclaredEncoding(const std::string& bytes) {
  if (bytes.compare(0, 5, "<?xml") != 0) return std::string();
  size_t end = bytes.find("?>");
  std::string declaration = bytes.substr(0, end);
  size_t at = declaration.find("encoding");
  if (at == std::string::npos) return std::string();
  size_t quote = declaration.find_first_of("\"'", at);
  if (quote == std::string::npos) return std::string();
  size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == std::string::npos) return std::string();
  return AsciiLower(declaration.substr(quote + 1, close - quote - 1));
}

bool IsXmlChar(unsigned long cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) || (cp >= 0xE000 && cp <= 0xFFFD) ||
         (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Length of a valid reference at text[at] ('&'), 0 when it is not one.
size_t ReferenceLength(const std::string& text, size_t at) {
  static const char* const kNamed[] = {"&lt;", "&gt;", "&amp;", "&apos;", "&quot;"};
  for (const char* named : kNamed) {
    if (text.compare(at, strlen(named), named) == 0) return strlen(named);
  }
  if (text.compare(at, 2, "&#") != 0) return 0;
  size_t i = at + 2;
  bool hex = i < text.size() && text[i] == 'x';
  if (hex) ++i;
  unsigned long cp = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] != ';'; ++i, ++digits) {
    char c = text[i];
    int value = (c >= '0' && c <= '9') ? c - '0' : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                   : (hex && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                                                    : -1;
    if (value < 0 || digits > 8) return 0;
    cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(value);
  }
  if (i >= text.size() || digits == 0 || !IsXmlChar(cp)) return 0;
  return i - at + 1;
}

}  // namespace

bool XmlSource::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(std::string::npos, "cannot be opened");
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(std::string::npos, "cannot be read");
  return LoadText(bytes);
}

bool XmlSource::LoadText(const std::string& bytes) {
  document_.reset();
  problem_.clear();
  problemLine_ = 0;
  if (!ToUtf8(bytes) || !CheckMarkup()) return false;
  unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi;
  pugi::xml_parse_result parsed = document_.load_buffer(text_.data(), text_.size(), options, pugi::encoding_utf8);
  if (!parsed) return Fail(static_cast<size_t>(parsed.offset), std::string("is not well-formed XML: ") +
                                                                   parsed.description());
  return CheckTree();
}

int XmlSource::LineOf(const pugi::xml_node& node) const {
  ptrdiff_t offset = node.offset_debug();
  return offset < 0 ? 0 : LineAt(static_cast<size_t>(offset));
}

bool XmlSource::Fail(size_t offset, const std::string& why) {
  problem_ = why;
  problemLine_ = offset == std::string::npos ? 0 : LineAt(offset);
  return false;
}

int XmlSource::LineAt(size_t offset) const {
  offset = std::min(offset, text_.size());
  return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + static_cast<ptrdiff_t>(offset), '\n'));
}

bool XmlSource::ToUtf8(const std::string& bytes) {
  text_.clear();
  auto byte = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  bool bomLe = bytes.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE;
  bool bomBe = bytes.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF;
  bool bareLe = bytes.size() >= 4 && bytes.compare(0, 4, std::string("<\0?\0", 4)) == 0;
  bool bareBe = bytes.size() >= 4 && bytes.compare(0, 4, std::string("\0<\0?", 4)) == 0;
  if (bomLe || bomBe || bareLe || bareBe) {
    bool little = bomLe || bareLe;
    size_t start = (bomLe || bomBe) ? 2 : 0;
    if ((bytes.size() - start) % 2 != 0) return Fail(std::string::npos, "ends in the middle of a UTF-16 character");
    for (size_t i = start; i < bytes.size(); i += 2) {
      unsigned long unit = little ? (byte(i) | (byte(i + 1) << 8)) : ((byte(i) << 8) | byte(i + 1));
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
        unsigned long low = little ? (byte(i + 2) | (byte(i + 3) << 8)) : ((byte(i + 2) << 8) | byte(i + 3));
        if (low >= 0xDC00 && low <= 0xDFFF) {
          AppendUtf8(text_, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
          i += 2;
          continue;
        }
      }
      if (unit >= 0xD800 && unit <= 0xDFFF) return Fail(text_.size(), "holds a broken UTF-16 surrogate pair");
      AppendUtf8(text_, unit);
    }
    return true;
  }
  std::string encoding = DeclaredEncoding(bytes);
  bool bom = bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF;
  if (bom || encoding.empty() || encoding == "utf-8" || encoding == "us-ascii") {
    text_ = bom ? bytes.substr(3) : bytes;
    size_t bad = FirstInvalidUtf8(text_);
    if (bad != std::string::npos) return Fail(bad, "is not valid UTF-8 (byte " + std::to_string(bad) + ")");
    return true;
  }
  bool latin1 = encoding == "iso-8859-1" || encoding == "latin1";
  if (!latin1 && encoding != "windows-1252") {
    return Fail(0, "declares the encoding \"" + encoding + "\", which kitpack does not read");
  }
  for (unsigned char c : bytes) {
    unsigned long cp = c;
    if (!latin1 && c >= 0x80 && c < 0xA0) {
      cp = kCp1252High[c - 0x80];
      if (cp == 0) return Fail(text_.size(), "holds a byte that windows-1252 does not define");
    }
    AppendUtf8(text_, cp);
  }
  return true;
}

// What the parser here lets pass but a strict one refuses: references to
// entities that are not defined, and control characters.
bool XmlSource::CheckMarkup() {
  static const char* const kSkipped[][2] = {{"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
  for (size_t i = 0; i < text_.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text_[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return Fail(i, "holds a control character");
    if (c == '<') {
      for (const auto& skip : kSkipped) {
        if (text_.compare(i, strlen(skip[0]), skip[0]) != 0) continue;
        size_t end = text_.find(skip[1], i + strlen(skip[0]));
        if (end == std::string::npos) return Fail(i, std::string("has a ") + skip[0] + " that is never closed");
        i = end + strlen(skip[1]) - 1;
        break;
      }
    } else if (c == '&' && ReferenceLength(text_, i) == 0) {
      return Fail(i, "holds an '&' that starts no known entity or character reference");
    }
  }
  return true;
}

// One root element, nothing but markup around it, no attribute twice.
bool XmlSource::CheckTree() {
  int roots = 0;
  for (pugi::xml_node child : document_.children()) {
    if (child.type() == pugi::node_element && ++roots > 1) {
      return Fail(static_cast<size_t>(child.offset_debug()), "has more than one root element");
    }
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      return Fail(static_cast<size_t>(child.offset_debug()), "has text outside its root element");
    }
  }
  if (roots == 0) return Fail(text_.size(), "has no root element");
  for (pugi::xml_node node = document_.first_child(); node; ) {
    if (node.type() == pugi::node_element) {
      std::set<std::string> names;
      for (pugi::xml_attribute attribute : node.attributes()) {
        if (!names.insert(attribute.name()).second) {
          return Fail(static_cast<size_t>(node.offset_debug()),
                      std::string("repeats the attribute ") + attribute.name() + " on one element");
        }
      }
    }
    // Depth-first walk without recursion, so deep nesting cannot exhaust the stack.
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) node = node.parent();
    if (node) node = node.next_sibling();
  }
  return true;
}

}  // namespace kitpack
