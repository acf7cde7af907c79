#include "downloader/services/diagnostic_log.h"

#include <new>
#include <share.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "common/fixed_string.h"
#include "common/wide_format.h"
#include "downloader/services/setup_state.h"

void OpenLog() {
  if (!g_setup.logEnabled) return;
  // Text stream, appended across runs, readable and writable by others meanwhile.
  g_setup.logFile.Reset(_wfsopen(g_setup.logPath, L"a+t", _SH_DENYNO));
  if (!g_setup.logFile.Valid()) g_setup.logEnabled = false;
}

void CloseLog() { g_setup.logFile.Reset(); }

namespace {

// The line goes to the file as 8-bit text in the system's code page; characters
// it cannot represent become '?'.
void WriteLineToFile(FILE* file, const wchar_t* message) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t stamp[32];
  qn::FormatInto(stamp, 32, L"[%02ld:%02ld:%02ld:%03ld] ", static_cast<long>(now.wHour),
                 static_cast<long>(now.wMinute), static_cast<long>(now.wSecond),
                 static_cast<long>(now.wMilliseconds));
  const wchar_t* parts[2] = {stamp, message};
  for (int i = 0; i < 2; ++i) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, parts[i], -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) continue;
    char* narrow = new (std::nothrow) char[bytes];
    if (!narrow) return;
    WideCharToMultiByte(CP_ACP, 0, parts[i], -1, narrow, bytes, nullptr, nullptr);
    fputs(narrow, file);
    delete[] narrow;
  }
  fputc('\n', file);
  fflush(file);
}

}  // namespace

namespace {

// One line of the log: the formatted message, then `suffix` (may be null).
void WriteLogLineV(const wchar_t* format, va_list args, const wchar_t* suffix) {
  if (!g_setup.logEnabled || !g_setup.logFile.Valid() || !format) return;
  int n = qn::FormattedLengthV(format, args);
  size_t extra = suffix ? wcslen(suffix) : 0;
  if (n < 0 || static_cast<unsigned>(n) + extra >= 0x7FFFFFFFu / sizeof(wchar_t)) return;
  wchar_t* message = new (std::nothrow) wchar_t[n + extra + 1];
  if (!message) return;
  bool ok = qn::FormatIntoV(message, n + 1, format, args);
  if (ok && static_cast<int>(wcslen(message)) == n) {
    if (extra) memcpy(message + n, suffix, (extra + 1) * sizeof(wchar_t));
    WriteLineToFile(g_setup.logFile.Get(), message);
    OutputDebugStringW(message);
    OutputDebugStringA("\n");
  }
  delete[] message;
}

}  // namespace

void WriteLog(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLogLineV(format, args, nullptr);
  va_end(args);
}

qn::Result LogFailure(qn::Result failure, const wchar_t* format, ...) {
  if (failure.Succeeded()) return failure;
  wchar_t code[32];
  if (!qn::FormatInto(code, 32, L" (error 0x%08lx)", static_cast<unsigned long>(failure.Code()))) code[0] = L'\0';
  va_list args;
  va_start(args, format);
  WriteLogLineV(format, args, code);
  va_end(args);
  return failure;
}

namespace {

const wchar_t kDefaultLogName[] = L"downloaderlog.txt";

}  // namespace

void SwitchLogOn(const qn::OptionMap& options) {
  if (!options.HasOption(L"log")) return;
  g_setup.logEnabled = true;
  const wchar_t* value = options.GetOptionValue(L"log");
  const wchar_t* path = value[0] ? value : kDefaultLogName;
  // A path that does not fit would name another file: no log rather than a wrong one.
  if (!qn::CopyText(g_setup.logPath, kPathChars, path)) {
    g_setup.logEnabled = false;
    return;
  }
  OpenLog();
}
