// Switches the diagnostic log on when the command line asks for it.
#pragma once
#include "common/option_map.h"

// With the option "log": an empty value logs to "downloaderlog.txt" in the
// current directory, any other value names the log file. A path that does not
// fit the log path buffer, or a file that cannot be opened, leaves logging off.
void SwitchLogOn(const qn::OptionMap& options);
