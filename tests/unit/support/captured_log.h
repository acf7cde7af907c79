// The diagnostic log switched on into a file for the life of the object, and
// read back as raw text or as messages without their time stamps.
#pragma once
#include <windows.h>

#include <stdio.h>
#include <string>
#include <vector>

#include "common/fixed_string.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "tests/unit/support/scratch_files.h"
#include "tests/unit/support/text_lines.h"
#include "tests/unit/support/unique_name.h"

namespace kittest {

class LogCapture {
 public:
  // Without a path the log goes to a file of its own under the temporary
  // folder, deleted at the end; a given file is left to whoever owns its folder.
  explicit LogCapture(const std::wstring& path = std::wstring())
      : path_(path.empty() ? TempFolder() + L"\\" + UniqueName(L"kitlog") + L".txt" : path), owned_(path.empty()) {
    qn::CopyText(g_setup.logPath, kPathChars, path_.c_str());
    g_setup.logEnabled = true;
    OpenLog();
  }
  ~LogCapture() {
    CloseLog();
    g_setup.logEnabled = false;
    if (owned_) DeleteFileW(path_.c_str());
  }

  // All written so far: time stamps, line ends and all.
  std::string Text() const {
    if (g_setup.logFile.Valid()) fflush(g_setup.logFile.Get());
    std::string bytes;
    ReadFileInto(path_, &bytes);
    return bytes;
  }
  bool Contains(const std::string& part) const { return Text().find(part) != std::string::npos; }

  // The messages, one a line, each ended by "\n".
  std::string Messages() const {
    std::vector<std::string> lines = MessageLines();
    std::string messages;
    for (size_t i = 0; i < lines.size(); ++i) messages += lines[i] + "\n";
    return messages;
  }
  // The messages, read in the system's code page as the log writes them.
  std::vector<std::wstring> Lines() const {
    std::vector<std::string> narrow = MessageLines();
    std::vector<std::wstring> lines;
    for (size_t i = 0; i < narrow.size(); ++i) lines.push_back(WideFromBytes(narrow[i], CP_ACP));
    return lines;
  }
  // Whether one message is exactly `message`.
  bool HasLine(const std::wstring& message) const {
    std::vector<std::wstring> lines = Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i] == message) return true;
    }
    return false;
  }
  // Index of the first message containing `part`, or -1.
  int IndexOf(const std::wstring& part) const {
    std::vector<std::wstring> lines = Lines();
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find(part) != std::wstring::npos) return static_cast<int>(i);
    }
    return -1;
  }

 private:
  LogCapture(const LogCapture&);
  LogCapture& operator=(const LogCapture&);

  // Each line without the "[hh:mm:ss:mmm] " that opens it.
  std::vector<std::string> MessageLines() const {
    std::vector<std::string> lines = SplitLines(Text());
    for (size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.size() >= 15 && line[0] == '[' && line[13] == ']' && line[14] == ' ') lines[i].erase(0, 15);
    }
    return lines;
  }

  std::wstring path_;
  bool owned_;
};

}  // namespace kittest
