#pragma once

// Releases what SetupState holds, in its fixed order. Called once on every exit
// from the version gate on.
void Teardown();
