// The parsed command line: options written as /name:value, kept in name order.
// Parsing never fails; text that is not an option is skipped and the first of
// two equal names wins.
#pragma once
#include <stddef.h>

#include "common/growable_array.h"
#include "common/owned_text.h"

namespace qn {

class OptionMap {
 public:
  explicit OptionMap(const wchar_t* commandLine);

  [[nodiscard]] bool HasOption(const wchar_t* name) const;
  // The value; empty when the option is absent or has none. Valid while the
  // map lives.
  [[nodiscard]] const wchar_t* GetOptionValue(const wchar_t* name) const;
  size_t Count() const { return options_.size(); }

 private:
  struct Option {
    OwnedText name;
    OwnedText value;
  };

  // Where `name` is or would be put; *found tells which.
  size_t Find(const wchar_t* name, bool* found) const;
  void Add(const wchar_t* word, size_t length);

  Array<Option> options_;
};

}  // namespace qn
