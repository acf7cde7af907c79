// Where the kit goes: the common program files folder, then the maker, then
// "SetupInformation", then the product code.
#pragma once
#include <stddef.h>

// A product code names the last level of the folder.
const size_t kProductCodeChars = 100;

// Builds and creates the folder in SetupState::localSetupFolder, each name as
// Windows stores it (an empty maker or code adds no level); leaves it empty,
// and creates nothing, when the folder cannot be resolved or a name cannot be a
// folder name.
void ResolveLocalSetupFolder(const wchar_t* productCode);
