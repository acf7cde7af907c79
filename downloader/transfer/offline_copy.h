// Filling the local setup folder from an offline package beside the program.
#pragma once
#include <stdint.h>
#include <windows.h>

#include "downloader/worker_link/worker_host.h"

// Progress state of one file copy, handed to CopyProgressRoutine as context.
class CCopyFileStatusCallback {
 public:
  explicit CCopyFileStatusCallback(HANDLE cancelEvent);
  virtual ~CCopyFileStatusCallback() = default;

  // Counts the bytes since the previous notification, samples the speed at most
  // once a second and answers PROGRESS_CANCEL once the cancel event is set.
  DWORD OnProgress(uint32_t transferred);

  LONG m_cancelled = 0;
  HANDLE m_cancelEvent;
  DWORD m_lastSampleTick = 0;
  DWORD m_startTick = 0;
  uint32_t m_lastTransferred = 0;
  LONG m_started = 0;
};

// Copies every kit file of locations.xml from the program folder into the local
// setup folder of the product code, runs the autorun ones, and ends the host's
// part of the run; the worker's result tells whether the pass was aborted.
void CopyOfflineKit(const wchar_t* productCode, WorkerHost& host);

DWORD CALLBACK CopyProgressRoutine(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                                   LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred,
                                   DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                                   HANDLE destinationFile, LPVOID context);
