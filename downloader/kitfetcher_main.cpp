#include <windows.h>

#include "downloader/startup_sequence.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
  return RunKitfetcher(instance, commandLine);
}
