#include "downloader/services/process_runner.h"

#include "common/fixed_string.h"
#include "common/started_process.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"

namespace {

// Switches Wow64 file-system redirection off for the calling thread while it
// lives, so that a command line naming the system folder reaches the native
// 64-bit program, and back on when the scope ends.
class RedirectionOff {
 public:
  RedirectionOff() : previous_(NULL), off_(false) {
    if (g_setup.isWow64 && g_setup.disableFsRedirection && g_setup.revertFsRedirection) {
      // Only a successful switch hands back a value that may be reverted.
      off_ = g_setup.disableFsRedirection(&previous_) != FALSE;
    }
  }
  ~RedirectionOff() {
    if (off_) g_setup.revertFsRedirection(previous_);
  }

 private:
  RedirectionOff(const RedirectionOff&);
  RedirectionOff& operator=(const RedirectionOff&);
  PVOID previous_;
  bool off_;
};

}  // namespace

namespace {

// application null: the program is the command line's first token.
bool StartAndWait(const wchar_t* application, wchar_t* commandLine, const wchar_t* workingFolder) {
  if (workingFolder) {
    WriteLog(L"[KITFETCHER] Running: %s in %s", commandLine, workingFolder);
  } else {
    WriteLog(L"[KITFETCHER] Running: %s", commandLine);
  }

  RedirectionOff redirection;
  qn::StartedProcess process;
  if (!qn::StartProcess(application, commandLine, workingFolder, &process)) {
    WriteLog(L"[KITFETCHER] Failed to run: %s", commandLine);
    return false;
  }
  WriteLog(L"[KITFETCHER] Started %s with pid %d", commandLine, static_cast<int>(process.id));
  WaitForSingleObject(process.process.Get(), INFINITE);
  return true;
}

}  // namespace

bool RunProcessAndWait(wchar_t* commandLine, const wchar_t* workingFolder) {
  if (!commandLine) return false;
  return StartAndWait(NULL, commandLine, workingFolder);
}

bool RunProgramAndWait(const wchar_t* programPath, const wchar_t* workingFolder) {
  if (!programPath) return false;
  // A path holds no quotes, so quoting it is enough for the program to read its
  // own name back as one argument.
  qn::FixedString<kLongPathChars + 2> commandLine;
  if (!commandLine.Format(L"\"%s\"", programPath)) {
    WriteLog(L"[KITFETCHER] Failed to run: %s", programPath);
    return false;
  }
  return StartAndWait(programPath, commandLine.data(), workingFolder);
}
