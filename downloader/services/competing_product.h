#pragma once
#include <stddef.h>

const size_t kCompetingTextChars = 520;
const size_t kMaxCompetingProducts = 5;

struct CompetingProduct {
  wchar_t displayName[kCompetingTextChars];
  wchar_t uninstallString[kCompetingTextChars];
  wchar_t productKey[kCompetingTextChars];
};
