#include "common/owned_text.h"

#include <new>
#include <string.h>
#include <wchar.h>

#include "common/fatal_error.h"

namespace qn {

namespace {

// `first` followed by `second`, each of the given length, in a new block; null
// when there is no memory for it.
wchar_t* Joined(const wchar_t* first, size_t firstLength, const wchar_t* second, size_t secondLength) {
  size_t length = firstLength + secondLength;
  if (length < firstLength || length >= static_cast<size_t>(-1) / sizeof(wchar_t)) return nullptr;
  wchar_t* text = new (std::nothrow) wchar_t[length + 1];
  if (!text) return nullptr;
  if (firstLength) memcpy(text, first, firstLength * sizeof(wchar_t));
  if (secondLength) memcpy(text + firstLength, second, secondLength * sizeof(wchar_t));
  text[length] = L'\0';
  return text;
}

void SetOrDie(OwnedText* owned, const wchar_t* text) {
  if (!owned->Set(text)) FatalError(L"OwnedText: out of memory");
}

}  // namespace

OwnedText::OwnedText(const wchar_t* text) { SetOrDie(this, text); }

OwnedText::OwnedText(const OwnedText& other) { SetOrDie(this, other.text_); }

OwnedText& OwnedText::operator=(const OwnedText& other) {
  if (this != &other) SetOrDie(this, other.text_);
  return *this;
}

OwnedText& OwnedText::operator=(OwnedText&& other) {
  if (this != &other) {
    Reset();
    text_ = other.text_;
    other.text_ = nullptr;
  }
  return *this;
}

bool OwnedText::Set(const wchar_t* text) { return text ? SetN(text, wcslen(text)) : (Reset(), true); }

bool OwnedText::SetN(const wchar_t* text, size_t length) {
  // The text may lie in our own block: copy before letting go of it.
  wchar_t* copy = Joined(text, length, nullptr, 0);
  Reset();
  text_ = copy;
  return copy != nullptr;
}

bool OwnedText::Append(const wchar_t* suffix) {
  const wchar_t* tail = suffix ? suffix : L"";
  wchar_t* joined = Joined(OrEmpty(), text_ ? wcslen(text_) : 0, tail, wcslen(tail));
  Reset();
  text_ = joined;
  return joined != nullptr;
}

void OwnedText::Reset() {
  delete[] text_;
  text_ = nullptr;
}

}  // namespace qn
