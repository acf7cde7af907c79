// The reinstall question follows Windows Installer's answer for the product
// code, asked of the real msi.dll.
#include <gtest/gtest.h>
#include <windows.h>
#include <msi.h>

#include "downloader/transfer/download_worker.h"

TEST(ReinstallCheck, OnlyProductsOnTheMachineAreQuestioned) {
  EXPECT_TRUE(InstallStateAsksReinstall(INSTALLSTATE_DEFAULT));
  EXPECT_TRUE(InstallStateAsksReinstall(INSTALLSTATE_ABSENT));
  EXPECT_TRUE(InstallStateAsksReinstall(INSTALLSTATE_LOCAL));
  EXPECT_FALSE(InstallStateAsksReinstall(INSTALLSTATE_UNKNOWN));
  EXPECT_FALSE(InstallStateAsksReinstall(INSTALLSTATE_ADVERTISED));
}

TEST(ReinstallCheck, ACodeThatIsNoProductCodeIsNotTakenForAnInstalledProduct) {
  // Windows Installer rejects anything but a braced GUID as an argument error.
  INSTALLSTATE notAGuid = MsiQueryProductStateW(L"QN-2026-STUDIO");
  EXPECT_EQ(INSTALLSTATE_INVALIDARG, notAGuid);
  EXPECT_FALSE(InstallStateAsksReinstall(notAGuid));
  EXPECT_EQ(INSTALLSTATE_UNKNOWN, MsiQueryProductStateW(L"{0F0E0D0C-0B0A-0908-0706-050403020100}"));
}
