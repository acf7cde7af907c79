#include <windows.h>

#include "launcher/launcher.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) { return RunKitstarter(commandLine); }
