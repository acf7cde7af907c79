// An owned wide text that may be absent (null), deep-copied with its owner.
#pragma once
#include <string>

namespace qn {

class OwnedText {
 public:
  OwnedText() : present_(false) {}
  explicit OwnedText(const wchar_t* text) : present_(text != 0), text_(text ? text : L"") {}
  bool IsPresent() const { return present_; }
  // The text, or null when absent.
  const wchar_t* Get() const { return present_ ? text_.c_str() : 0; }
  const wchar_t* OrEmpty() const { return text_.c_str(); }
  void Set(const wchar_t* text) {
    present_ = text != 0;
    text_ = text ? text : L"";
  }
  void Reset() {
    present_ = false;
    text_.clear();
  }

 private:
  bool present_;
  std::wstring text_;
};

}  // namespace qn
