#include "downloader/ui/progress_texts.h"

#include "common/wide_format.h"
#include "downloader/services/texts.h"
#include "downloader/services/text_ids.h"

namespace {

const wchar_t kDefaultLongFormat[] = L"%d %s, %d %s and %d %s";
const wchar_t kDefaultShortFormat[] = L"%d %s and %d %s";

const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }

const wchar_t* Unit(uint32_t count, const wchar_t* singular, const wchar_t* plural) {
  return OrEmpty(count == 1 ? singular : plural);
}

}  // namespace

int ProgressPercentage(uint32_t done, uint32_t total) {
  if (total == 0) return 0;
  // Whole-number arithmetic: a double quotient times 100 can land just below the
  // exact value (29 of 100 would show 28).
  uint64_t percent = static_cast<uint64_t>(done) * 100u / total;
  return percent > 100u ? 100 : static_cast<int>(percent);
}

bool SecondsLeft(uint32_t done, uint32_t total, double speedKBps, uint32_t* seconds) {
  if (!seconds) return false;
  // Also false for NaN: no comparison with it holds.
  if (!(speedKBps >= 1.0)) return false;
  constexpr double kMaxWhole = 4294967295.0;
  uint64_t wholeKBps = speedKBps >= kMaxWhole ? 4294967295u : static_cast<uint64_t>(speedKBps);
  uint32_t remaining = total > done ? total - done : 0;
  *seconds = static_cast<uint32_t>(remaining / (wholeKBps * 1024u));
  return true;
}

bool FormatSpeedText(double speedKBps, const wchar_t* kbUnit, const wchar_t* mbUnit, wchar_t* out,
                     size_t capacity) {
  if (speedKBps < 1000.0) return qn::FormatInto(out, capacity, L"%4.2lf %s", speedKBps, OrEmpty(kbUnit));
  return qn::FormatInto(out, capacity, L"%4.2lf %s", speedKBps / 1024.0, OrEmpty(mbUnit));
}

bool FormatTimeLeft(uint32_t seconds, const DurationWords& words, wchar_t* out, size_t capacity) {
  // Every count fits an int: seconds never exceed 4 GiB / 1 KiB.
  int secs = static_cast<int>(seconds % 60u);
  int mins = static_cast<int>((seconds / 60u) % 60u);
  if (seconds < 60u) {
    return qn::FormatInto(out, capacity, L"%d %s", static_cast<int>(seconds),
                          Unit(seconds, words.second, words.seconds));
  }
  const wchar_t* secondWord = Unit(static_cast<uint32_t>(secs), words.second, words.seconds);
  if (seconds < 3600u) {
    const wchar_t* format = TextHasConversions(words.shortFormat, ExpectedConversions(IDS_SHORT_DURATION))
                                ? words.shortFormat
                                : kDefaultShortFormat;
    int totalMins = static_cast<int>(seconds / 60u);
    return qn::FormatInto(out, capacity, format, totalMins,
                          Unit(static_cast<uint32_t>(totalMins), words.minute, words.minutes), secs,
                          secondWord);
  }
  const wchar_t* format = TextHasConversions(words.longFormat, ExpectedConversions(IDS_LONG_DURATION))
                              ? words.longFormat
                              : kDefaultLongFormat;
  int hours = static_cast<int>(seconds / 3600u);
  return qn::FormatInto(out, capacity, format, hours, Unit(static_cast<uint32_t>(hours), words.hour, words.hours),
                        mins, Unit(static_cast<uint32_t>(mins), words.minute, words.minutes), secs,
                        secondWord);
}
