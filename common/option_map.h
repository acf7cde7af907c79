// The parsed command line: options written as /name:value. Parsing never fails;
// text that is not an option is skipped and the first of two equal names wins.
#pragma once
#include <map>
#include <string>

namespace qn {

class OptionMap {
 public:
  explicit OptionMap(std::wstring commandLine);

  bool HasOption(const std::wstring& name) const;
  // A copy of the value; empty when the option is absent.
  std::wstring GetOptionValue(const std::wstring& name) const;
  size_t Count() const { return options_.size(); }

 private:
  std::map<std::wstring, std::wstring> options_;
};

}  // namespace qn
