// The speed sample's arithmetic: when a sample is due, and the speed it gives,
// across a tick wrap too.
#include <gtest/gtest.h>
#include <windows.h>

#include "downloader/transfer/transfer_counters.h"

TEST(SpeedArithmetic, SamplesOnlyAfterMoreThanOneSecond) {
  EXPECT_FALSE(SpeedSampleDue(1000, 1000));
  EXPECT_FALSE(SpeedSampleDue(1000, 2000));
  EXPECT_TRUE(SpeedSampleDue(1000, 2001));
}

TEST(SpeedArithmetic, DifferencesSurviveATickWrap) {
  // 0xFFFFFF00 + 1000 wraps to 0x000002E8.
  EXPECT_FALSE(SpeedSampleDue(0xFFFFFF00u, 0x000002E8u));
  EXPECT_TRUE(SpeedSampleDue(0xFFFFFF00u, 0x000002E9u));
  // 2000 ms after a start just before the wrap.
  DWORD start = 0xFFFFFC18u;  // 1000 ms before the wrap
  DWORD now = 0x000003E8u;    // 1000 ms after it
  EXPECT_DOUBLE_EQ(2048000.0 / 2000.0 / 1000.0 * 1024.0, SpeedSampleKBps(2048000, start, now));
}

TEST(SpeedArithmetic, DividesByThousandThenMultipliesBy1024InDouble) {
  EXPECT_DOUBLE_EQ(1.024, SpeedSampleKBps(1000, 0, 1000));
  // Progress above 2^31 stays an unsigned count.
  EXPECT_DOUBLE_EQ(3221225472.0 / 4000.0 / 1000.0 * 1024.0, SpeedSampleKBps(0xC0000000u, 5000, 9000));
  EXPECT_EQ(0.0, SpeedSampleKBps(12345, 777, 777));
}
