// The numbers and texts the progress dialog shows, computed from a snapshot of
// the transfer counters. Pure functions, so every rounding rule can be checked
// without a window.
#pragma once
#include <stddef.h>
#include <stdint.h>

constexpr size_t kProgressTextChars = 50;

// Whole percent of done out of total, truncated, never above 100; 0 when total is 0.
[[nodiscard]] int ProgressPercentage(uint32_t done, uint32_t total);

// Seconds until total is reached at the given speed, the speed truncated to whole
// KB/s first. False when the speed is below 1 KB/s: there is no estimate then.
// More done than expected counts as nothing left.
[[nodiscard]] bool SecondsLeft(uint32_t done, uint32_t total, double speedKBps, uint32_t* seconds);

// "%4.2lf KB/s" below 1000 KB/s, else the value in MB/s (divided by 1024).
[[nodiscard]] bool FormatSpeedText(double speedKBps, const wchar_t* kbUnit, const wchar_t* mbUnit, wchar_t* out,
                                   size_t capacity);

struct DurationWords {
  const wchar_t* hour;
  const wchar_t* hours;
  const wchar_t* minute;
  const wchar_t* minutes;
  const wchar_t* second;
  const wchar_t* seconds;
  const wchar_t* longFormat;   // three number/word pairs
  const wchar_t* shortFormat;  // two number/word pairs
};

// "59 seconds", "1 minute and 1 second", "2 hours, 2 minutes and 2 seconds".
// A format that does not hold exactly the conversions of its text id
// (texts.h) is not used as a printf format; the built-in English one
// stands in for it (an empty one too: a text too long for its slot is dropped).
[[nodiscard]] bool FormatTimeLeft(uint32_t seconds, const DurationWords& words, wchar_t* out, size_t capacity);
