// The transfer counters the progress dialog reads, and the one-second speed
// sample, shared by URL downloads and offline copies.
#pragma once
#include <windows.h>

// Adds a file's size to the bytes the whole pass expects (32-bit wrap, as the
// counter is kept).
void AddExpectedBytes(DWORD bytes);
// Adds the bytes one progress notification moved on.
void AddTransferredBytes(DWORD delta);
// The latest speed sample in KB/s.
void StoreSpeed(double speedKBps);

// The millisecond clock the speed samples read: GetTickCount, unless a test has
// put a clock of its own in place. SetTickSource returns the clock it replaced;
// Null puts GetTickCount back.
using TickSource = DWORD(WINAPI*)();
TickSource SetTickSource(TickSource source);
[[nodiscard]] DWORD TransferTicks();

// True when more than a second has passed since the last speed sample. Unsigned
// tick differences stay right across a GetTickCount wrap.
[[nodiscard]] bool SpeedSampleDue(DWORD lastSampleTick, DWORD now);

// The speed shown as "KB/s": bytes since the start of the data, divided by the
// milliseconds since then, first divided by 1000 and then multiplied by 1024.
// A zero elapsed time gives 0.
[[nodiscard]] double SpeedSampleKBps(DWORD progress, DWORD startTick, DWORD now);
