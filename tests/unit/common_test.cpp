#include <gtest/gtest.h>

#include "common/option_map.h"

TEST(Smoke, Builds) { EXPECT_FALSE(qn::OptionMap(L"").HasOption(L"log")); }
