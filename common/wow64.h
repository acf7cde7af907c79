// Whether this 32-bit program runs on 64-bit Windows. IsWow64Process is looked
// up at run time: kernel32 of older systems lacks it, which means 32-bit Windows.
#pragma once

namespace qn {

bool RunsUnderWow64();

}  // namespace qn
