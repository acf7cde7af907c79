// The one way out when memory can no longer be trusted: a broken guard word,
// an impossible length, an allocation that a caller cannot do without.
#pragma once

namespace qn {

// Ends the process at once: going on would act on corrupted data.
using FatalErrorHandler = void (*)(const wchar_t* what);
[[noreturn]] void FatalError(const wchar_t* what);
// Tests replace the handler to observe the failure; returns the previous one.
FatalErrorHandler SetFatalErrorHandler(FatalErrorHandler handler);

}  // namespace qn
