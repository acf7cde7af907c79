// The taskbar button of the progress dialog, on a stand-in taskbar object.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/scoped_handles.h"
#include "downloader/services/setup_state.h"
#include "downloader/ui/taskbar_button.h"
#include "tests/unit/support/fake_taskbar.h"

// The taskbar button shows the worker's states on Windows 7 only, and only
// once there is a dialog window to mark.
TEST(TaskbarButton, MarksOnlyADialogOnWindows7) {
  ResetSetupState();
  qn::ScopedCoInit com;
  HWND window = CreateWindowExW(0, L"STATIC", L"stand-in dialog", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
  ASSERT_TRUE(window != NULL);
  kittest::FakeTaskbar list;
  TaskbarButton button(&list);
  g_setup.osVersionCode = kOsWindows7;
  button.ShowState(NULL, TBPF_ERROR);
  EXPECT_EQ(0, list.calls);
  button.ShowState(window, TBPF_ERROR);
  EXPECT_EQ(1, list.calls);
  EXPECT_EQ(TBPF_ERROR, list.lastState);
  EXPECT_EQ(window, list.lastWindow);
  g_setup.osVersionCode = kOsVistaServicePack;
  button.ShowState(window, TBPF_NORMAL);
  EXPECT_EQ(1, list.calls);
  button.Release();

  TaskbarButton xp;
  g_setup.osVersionCode = kOsXpSp3;
  xp.Attach(window);
  EXPECT_FALSE(xp.Attached());
  DestroyWindow(window);
  ResetSetupState();
}
