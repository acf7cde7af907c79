// What kitfetcher will see, in words, per kind of Windows.
#pragma once
#include <ostream>

#include "kit_view.h"

namespace kitpack {

void PrintViewSummary(std::ostream& out, const KitView& view, Arch arch);

}  // namespace kitpack
