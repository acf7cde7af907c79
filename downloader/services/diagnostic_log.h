// The diagnostic log: off unless the option "log" was given; then one
// time-stamped line per call in the log file and on the debugger output.
#pragma once

void OpenLog();
// Printf-style wide format; %s takes a wide string.
void WriteLog(const wchar_t* format, ...);
void CloseLog();
