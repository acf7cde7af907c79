#include "findings.h"

#include <algorithm>

namespace kitpack {

void Findings::Add(Severity severity, int line, const std::string& text) {
  for (const Finding& f : all_) {
    if (f.severity == severity && f.line == line && f.text == text) return;
  }
  all_.push_back(Finding{severity, line, text});
}

bool Findings::HasErrors() const {
  return std::any_of(all_.begin(), all_.end(), [](const Finding& f) { return f.severity == Severity::kError; });
}

int Findings::ExitCode() const {
  if (HasErrors()) return kExitErrors;
  return all_.empty() ? kExitClean : kExitWarnings;
}

void Findings::Print(std::ostream& out, const std::string& file) const {
  std::vector<Finding> sorted = all_;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Finding& a, const Finding& b) { return a.line < b.line; });
  for (const Finding& f : sorted) {
    out << file << ':' << f.line << ": " << (f.severity == Severity::kError ? "error" : "warning") << ": " << f.text
        << '\n';
  }
}

}  // namespace kitpack
