// The diagnostic log: off unless the option "log" was given; then one
// time-stamped line per call in the log file and on the debugger output.
#pragma once
#include "common/option_map.h"

void OpenLog();
// Printf-style wide format; %s takes a wide string.
void WriteLog(const wchar_t* format, ...);
void CloseLog();

// Switches the diagnostic log on when the command line asks for it.
// With the option "log": an empty value logs to "downloaderlog.txt" in the
// current directory, any other value names the log file. A path that does not
// fit the log path buffer, or a file that cannot be opened, leaves logging off.
void SwitchLogOn(const qn::OptionMap& options);
