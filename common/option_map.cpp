#include "common/option_map.h"

#include <wchar.h>

#include "common/fatal_error.h"

namespace qn {
namespace {

constexpr wchar_t kQuote = L'"';

// A piece of the command line.
struct Span {
  const wchar_t* text;
  size_t length;
};

bool HasQuote(const Span& word) { return wmemchr(word.text, kQuote, word.length) != nullptr; }

bool OpensQuotedRun(const Span& word) { return HasQuote(word) && word.text[word.length - 1] != kQuote; }

// The end of the next word: words are separated by single spaces, so runs of
// spaces give empty words.
const wchar_t* WordEnd(const wchar_t* start) {
  const wchar_t* end = wcschr(start, L' ');
  return end ? end : start + wcslen(start);
}

}  // namespace

// Words of a quoted run keep their single separating spaces, so runs of spaces
// inside quotes survive exactly; a run that is never closed ends with the
// command line. A trailing space gives no extra word.
OptionMap::OptionMap(const wchar_t* commandLine) {
  const wchar_t* next = commandLine ? commandLine : L"";
  while (*next) {
    Span word = {next, static_cast<size_t>(WordEnd(next) - next)};
    next = word.text + word.length;
    if (*next) ++next;
    if (word.length > 0 && OpensQuotedRun(word)) {
      while (*next) {
        Span joined = {next, static_cast<size_t>(WordEnd(next) - next)};
        word.length = static_cast<size_t>(joined.text + joined.length - word.text);
        next = joined.text + joined.length;
        if (*next) ++next;
        if (HasQuote(joined)) break;
      }
    }
    Add(word.text, word.length);
  }
}

void OptionMap::Add(const wchar_t* word, size_t length) {
  if (length == 0 || word[0] != L'/') return;
  const wchar_t* text = word + 1;
  size_t textLength = length - 1;
  const wchar_t* colon = wmemchr(text, L':', textLength);
  size_t nameLength = colon ? static_cast<size_t>(colon - text) : textLength;
  const wchar_t* value = colon ? colon + 1 : text + textLength;
  size_t valueLength = static_cast<size_t>(text + textLength - value);
  // One colon closing the option text is dropped: x:a: reads a.
  if (valueLength > 0 && value[valueLength - 1] == L':') --valueLength;
  if (valueLength > 0 && value[0] == kQuote) {
    if (valueLength >= 2) {
      ++value;
      valueLength -= 2;
    } else {
      valueLength = 0;
    }
  }
  Option option;
  // A command line the program cannot hold in memory leaves nothing to run with.
  if (!option.name.SetN(text, nameLength) || !option.value.SetN(value, valueLength))
    FatalError(L"OptionMap: out of memory");
  bool found = false;
  size_t at = Find(option.name.Get(), &found);
  if (found) return;  // keeps the first occurrence
  if (!options_.insert(at, static_cast<Option&&>(option))) FatalError(L"OptionMap: out of memory");
}

size_t OptionMap::Find(const wchar_t* name, bool* found) const {
  size_t low = 0;
  size_t high = options_.size();
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    int order = wcscmp(options_[middle].name.Get(), name);
    if (order == 0) {
      *found = true;
      return middle;
    }
    if (order < 0)
      low = middle + 1;
    else
      high = middle;
  }
  *found = false;
  return low;
}

bool OptionMap::HasOption(const wchar_t* name) const {
  bool found = false;
  Find(name ? name : L"", &found);
  return found;
}

const wchar_t* OptionMap::GetOptionValue(const wchar_t* name) const {
  bool found = false;
  size_t at = Find(name ? name : L"", &found);
  return found ? options_[at].value.Get() : L"";
}

}  // namespace qn
