// An owned wide text on the heap that may be absent (null). Copies are deep;
// moves hand the text over.
#pragma once
#include <stddef.h>

namespace qn {

class OwnedText {
 public:
  OwnedText() = default;
  // Construction and copies cannot report a failed allocation: it is fatal.
  explicit OwnedText(const wchar_t* text);
  OwnedText(const OwnedText& other);
  OwnedText(OwnedText&& other) : text_(other.text_) { other.text_ = nullptr; }
  OwnedText& operator=(const OwnedText& other);
  OwnedText& operator=(OwnedText&& other);
  ~OwnedText() { Reset(); }

  bool IsPresent() const { return text_ != nullptr; }
  // The text, or null when absent.
  const wchar_t* Get() const { return text_; }
  const wchar_t* OrEmpty() const { return text_ ? text_ : L""; }

  // Each answers false when the memory for the result cannot be had; the text
  // is then absent. Set(null) makes it absent and answers true.
  bool Set(const wchar_t* text);
  // The first `length` characters of `text`.
  [[nodiscard]] bool SetN(const wchar_t* text, size_t length);
  // Adds `suffix` to the end; an absent text becomes the suffix.
  [[nodiscard]] bool Append(const wchar_t* suffix);
  void Reset();

 private:
  wchar_t* text_ = nullptr;
};

}  // namespace qn
