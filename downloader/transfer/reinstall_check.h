#pragma once
#include <windows.h>
#include <msi.h>

// Whether Windows Installer's answer for a product code means the product is on
// the machine, so that the user is asked before installing over it. Unknown and
// advertised products are not; neither is a code the query rejects as invalid
// (it is no product code at all, so nothing can be installed under it).
bool InstallStateAsksReinstall(INSTALLSTATE state);
