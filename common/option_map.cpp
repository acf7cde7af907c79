#include "common/option_map.h"

#include <vector>

namespace qn {
namespace {

const wchar_t kQuote = L'"';

std::vector<std::wstring> SplitAtSpaces(const std::wstring& text) {
  std::vector<std::wstring> words;
  size_t start = 0;
  for (;;) {
    size_t space = text.find(L' ', start);
    if (space == std::wstring::npos) {
      // A trailing space gives no extra word.
      if (start < text.size()) words.push_back(text.substr(start));
      break;
    }
    words.push_back(text.substr(start, space - start));
    start = space + 1;
  }
  return words;
}

bool OpensQuotedRun(const std::wstring& word) {
  return word.find(kQuote) != std::wstring::npos && word[word.size() - 1] != kQuote;
}

// Words of a quoted run get their single separating space back, so runs of
// spaces inside quotes survive exactly. A run that is never closed ends with
// the command line.
std::vector<std::wstring> JoinQuotedRuns(const std::vector<std::wstring>& words) {
  std::vector<std::wstring> joined;
  for (size_t i = 0; i < words.size(); ++i) {
    std::wstring word = words[i];
    if (OpensQuotedRun(word)) {
      while (i + 1 < words.size()) {
        ++i;
        word += L' ';
        word += words[i];
        if (words[i].find(kQuote) != std::wstring::npos) break;
      }
    }
    joined.push_back(word);
  }
  return joined;
}

}  // namespace

OptionMap::OptionMap(std::wstring commandLine) {
  std::vector<std::wstring> words = JoinQuotedRuns(SplitAtSpaces(commandLine));
  for (size_t i = 0; i < words.size(); ++i) {
    const std::wstring& word = words[i];
    if (word.empty() || word[0] != L'/') continue;
    std::wstring text = word.substr(1);
    std::wstring name = text;
    std::wstring value;
    size_t colon = text.find(L':');
    if (colon != std::wstring::npos) {
      name = text.substr(0, colon);
      value = text.substr(colon + 1);
      // One colon closing the option text is dropped: x:a: reads a.
      if (!value.empty() && value[value.size() - 1] == L':') value.erase(value.size() - 1);
    }
    if (!value.empty() && value[0] == kQuote) {
      value = value.size() >= 2 ? value.substr(1, value.size() - 2) : std::wstring();
    }
    options_.insert(std::make_pair(name, value));  // keeps the first occurrence
  }
}

bool OptionMap::HasOption(const std::wstring& name) const {
  return options_.find(name) != options_.end();
}

std::wstring OptionMap::GetOptionValue(const std::wstring& name) const {
  std::map<std::wstring, std::wstring>::const_iterator it = options_.find(name);
  return it == options_.end() ? std::wstring() : it->second;
}

}  // namespace qn
