#pragma once

// Download phase (worker thread and modal progress dialog), then the hand-off:
// descriptor patches, contacts document, Installer.exe.
void DownloadAndHandOff();
