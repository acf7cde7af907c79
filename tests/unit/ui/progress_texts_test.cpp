// What the progress dialog shows for given counters: percentage, speed and
// time left.
#include <gtest/gtest.h>

#include <string>

#include "downloader/ui/progress_texts.h"

namespace {

const DurationWords kEnglish = {L"hour",    L"hours",  L"minute",
                                L"minutes", L"second", L"seconds",
                                L"%d %s, %d %s and %d %s", L"%d %s and %d %s"};

std::wstring TimeLeft(uint32_t seconds, const DurationWords& words = kEnglish) {
  wchar_t text[kProgressTextChars];
  if (!FormatTimeLeft(seconds, words, text, kProgressTextChars)) return L"<failed>";
  return text;
}

std::wstring Speed(double kbps) {
  wchar_t text[kProgressTextChars];
  if (!FormatSpeedText(kbps, L"KB/s", L"MB/s", text, kProgressTextChars)) return L"<failed>";
  return text;
}

}  // namespace

TEST(ProgressTexts, TimeLeftPicksUnitsAndSingularForOne) {
  EXPECT_EQ(L"0 seconds", TimeLeft(0));
  EXPECT_EQ(L"1 second", TimeLeft(1));
  EXPECT_EQ(L"59 seconds", TimeLeft(59));
  EXPECT_EQ(L"1 minute and 0 seconds", TimeLeft(60));
  EXPECT_EQ(L"1 minute and 1 second", TimeLeft(61));
  EXPECT_EQ(L"59 minutes and 59 seconds", TimeLeft(3599));
  EXPECT_EQ(L"1 hour, 0 minutes and 0 seconds", TimeLeft(3600));
  EXPECT_EQ(L"1 hour, 1 minute and 1 second", TimeLeft(3661));
  EXPECT_EQ(L"2 hours, 2 minutes and 2 seconds", TimeLeft(7322));
}

TEST(ProgressTexts, TimeLeftUsesTheLoadedWordsAndFormats) {
  DurationWords words = {L"h", L"hh", L"m", L"mm", L"s", L"ss", L"%d%s %d%s %d%s", L"%d%s+%d%s"};
  EXPECT_EQ(L"2mm+1s", TimeLeft(121, words));
  EXPECT_EQ(L"1h 0mm 5ss", TimeLeft(3605, words));
  // A literal percent sign is no conversion.
  words.shortFormat = L"%d %s and %d %s (100%%)";
  EXPECT_EQ(L"1 m and 2 ss (100%)", TimeLeft(62, words));
}

TEST(ProgressTexts, TimeLeftNeverTrustsAFormatWithOtherConversions) {
  // A translated format that asks for other arguments would read past the ones
  // passed; the built-in format stands in for it.
  DurationWords words = kEnglish;
  words.shortFormat = L"%s %d and %d %s";
  words.longFormat = L"%d %s, %d %s and %d %s %s";
  EXPECT_EQ(L"1 minute and 1 second", TimeLeft(61, words));
  EXPECT_EQ(L"1 hour, 1 minute and 1 second", TimeLeft(3661, words));
  words.shortFormat = L"%d %s and %n";
  EXPECT_EQ(L"1 minute and 1 second", TimeLeft(61, words));
  // Every mismatch of the shared check (load_text_test) stands for a wrong format here too.
  words.shortFormat = L"%5d %s and %d %s";
  EXPECT_EQ(L"1 minute and 1 second", TimeLeft(61, words));
  words.longFormat = L"";
  EXPECT_EQ(L"1 hour, 1 minute and 1 second", TimeLeft(3661, words));
}

TEST(ProgressTexts, TimeLeftThatDoesNotFitIsRefusedNotCut) {
  DurationWords words = kEnglish;
  words.seconds = L"seconds and a very long tail that cannot fit in fifty characters";
  wchar_t text[kProgressTextChars];
  EXPECT_FALSE(FormatTimeLeft(5, words, text, kProgressTextChars));
  EXPECT_EQ(L'\0', text[0]);
}

TEST(ProgressTexts, SpeedSwitchesToMegabytesAtOneThousand) {
  EXPECT_EQ(L"999.99 KB/s", Speed(999.99));
  EXPECT_EQ(L"0.98 MB/s", Speed(1000.0));
  EXPECT_EQ(L"2.00 MB/s", Speed(2048.0));
  EXPECT_EQ(L"1.90 KB/s", Speed(1.9));
  EXPECT_EQ(L"0.50 KB/s", Speed(0.5));
}

TEST(ProgressTexts, PercentageTruncatesAndStaysWithinTheBar) {
  EXPECT_EQ(99, ProgressPercentage(999, 1000));  // 99.9
  EXPECT_EQ(100, ProgressPercentage(1000, 1000));
  EXPECT_EQ(29, ProgressPercentage(29, 100));
  EXPECT_EQ(0, ProgressPercentage(0, 1000));
  EXPECT_EQ(100, ProgressPercentage(5000, 1000));  // more done than expected
  EXPECT_EQ(0, ProgressPercentage(10, 0));
  EXPECT_EQ(50, ProgressPercentage(0x7FFFFFFFu, 0xFFFFFFFEu));  // no overflow on large counts
}

TEST(ProgressTexts, SecondsLeftUsesWholeKilobytesPerSecond) {
  uint32_t seconds = 0;
  ASSERT_TRUE(SecondsLeft(0, 1048576, 1.9, &seconds));
  EXPECT_EQ(1024u, seconds);
  EXPECT_EQ(L"17 minutes and 4 seconds", TimeLeft(seconds));

  ASSERT_TRUE(SecondsLeft(1000, 1000 + 3 * 1024 * 10, 10.0, &seconds));
  EXPECT_EQ(3u, seconds);
}

TEST(ProgressTexts, NoEstimateBelowOneKilobytePerSecond) {
  uint32_t seconds = 77;
  EXPECT_FALSE(SecondsLeft(0, 1000, 0.99, &seconds));
  EXPECT_FALSE(SecondsLeft(0, 1000, 0.0, &seconds));
  EXPECT_EQ(77u, seconds);
}

TEST(ProgressTexts, MoreDoneThanExpectedLeavesNothing) {
  uint32_t seconds = 77;
  ASSERT_TRUE(SecondsLeft(5000, 1000, 1.0, &seconds));
  EXPECT_EQ(0u, seconds);
  // The largest possible remainder at the slowest speed still fits the text.
  ASSERT_TRUE(SecondsLeft(0, 0xFFFFFFFFu, 1.0, &seconds));
  EXPECT_EQ(4194303u, seconds);
  EXPECT_EQ(L"1165 hours, 5 minutes and 3 seconds", TimeLeft(seconds));
  // A speed beyond 32 bits does not wrap into a zero divisor.
  ASSERT_TRUE(SecondsLeft(0, 1000, 1e12, &seconds));
  EXPECT_EQ(0u, seconds);
}
