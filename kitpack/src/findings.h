// What a check found, each with the line it is about, and the exit code the
// findings make.
#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace kitpack {

enum class Severity { kWarning, kError };

struct Finding {
  Severity severity;
  int line;  // 0: the document as a whole
  std::string text;
};

// Exit codes of every command.
const int kExitClean = 0;
const int kExitWarnings = 1;
const int kExitErrors = 2;
const int kExitUnreadable = 3;

class Findings {
 public:
  void Error(int line, const std::string& text) { Add(Severity::kError, line, text); }
  void Warning(int line, const std::string& text) { Add(Severity::kWarning, line, text); }
  // A finding already recorded (say, for the other architecture) is not repeated.
  void Add(Severity severity, int line, const std::string& text);

  const std::vector<Finding>& All() const { return all_; }
  bool HasErrors() const;
  int ExitCode() const;
  // "file:line: error: text" lines, by line.
  void Print(std::ostream& out, const std::string& file) const;

 private:
  std::vector<Finding> all_;
};

}  // namespace kitpack
