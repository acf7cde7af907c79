// Loads a kit description as kitfetcher's XML parser would accept it: the
// encodings it reads, and the well-formedness rules the lenient parser here
// would let through but that make kitfetcher read nothing.
#pragma once
#include <cstddef>
#include <string>

#include <pugixml.hpp>

namespace kitpack {

class XmlSource {
 public:
  // False when the document cannot be read; Problem() and ProblemLine() say why.
  bool Load(const std::string& path);
  bool LoadText(const std::string& bytes);

  const pugi::xml_document& Document() const { return document_; }
  // 1-based line of a node; attributes share their element's line.
  int LineOf(const pugi::xml_node& node) const;
  const std::string& Problem() const { return problem_; }
  int ProblemLine() const { return problemLine_; }

 private:
  bool Fail(size_t offset, const std::string& why);
  bool ToUtf8(const std::string& bytes);
  bool CheckMarkup();
  bool CheckTree();
  int LineAt(size_t offset) const;

  pugi::xml_document document_;
  std::string text_;  // the document as UTF-8; node offsets point into it
  std::string problem_;
  int problemLine_ = 0;
};

}  // namespace kitpack
