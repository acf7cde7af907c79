// The diagnostic log: off unless the option "log" was given; then one
// time-stamped line per call in the log file and on the debugger output.
#pragma once
#include <stdarg.h>

#include "common/option_map.h"
#include "common/result.h"

void OpenLog();
// Printf-style wide format; %s takes a wide string.
void WriteLog(const wchar_t* format, ...);
void CloseLog();

// Logs a failure once, where it is first seen: the message, then its code
// (" (error 0x80070005)"), and hands the failure on, so that the callers up the
// chain pass it along without a word. A success passes through unlogged.
qn::Result LogFailure(qn::Result failure, const wchar_t* format, ...);

// Switches the diagnostic log on when the command line asks for it.
// With the option "log": an empty value logs to "downloaderlog.txt" in the
// current directory, any other value names the log file. A path that does not
// fit the log path buffer, or a file that cannot be opened, leaves logging off.
void SwitchLogOn(const qn::OptionMap& options);
