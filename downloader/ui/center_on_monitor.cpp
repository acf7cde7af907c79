#include "downloader/ui/center_on_monitor.h"

POINT CenteredPosition(const RECT& window, const RECT& workArea) {
  LONG width = window.right - window.left;
  LONG height = window.bottom - window.top;
  POINT at;
  at.x = (workArea.left + workArea.right) / 2 - width / 2;
  at.y = (workArea.top + workArea.bottom) / 2 - height / 2;
  // Right and bottom first, so that the top-left corner wins when both cannot hold.
  if (at.x + width > workArea.right) at.x = workArea.right - width;
  if (at.x < workArea.left) at.x = workArea.left;
  if (at.y + height > workArea.bottom) at.y = workArea.bottom - height;
  if (at.y < workArea.top) at.y = workArea.top;
  return at;
}

void CenterOnMonitor(HWND window) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  MONITORINFO info;
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info)) return;
  POINT at = CenteredPosition(rect, info.rcWork);
  SetWindowPos(window, NULL, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
