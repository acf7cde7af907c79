// Cases about what only 32-bit code has are skipped, with their reason, in the
// x86-64 build of the tests (made where the host runs no 32-bit code): there a
// 64-bit program on 64-bit Windows plays a 32-bit one on 32-bit Windows.
#pragma once
#include <gtest/gtest.h>

#define SKIP_UNLESS_32BIT_CODE(why)                                          \
  do {                                                                       \
    if (sizeof(void*) != 4) GTEST_SKIP() << "needs 32-bit code: " << (why); \
  } while (0)

// The removal library's product records, as the tests build and read them.
#define KIT_RECORDS_NEED_32BIT_CODE "the removal library's records are 20 bytes in 32-bit code only"
