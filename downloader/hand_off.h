#pragma once

// Download phase (worker thread and modal progress dialog), then the hand-off:
// descriptor patches, contacts document, Installer.exe.
void DownloadAndHandOff();
// Queues the start-up sequence's own descriptor patches after locations.xml's.
void QueueDescriptorPatches(const wchar_t* descriptorPath);
