// Downloads through the URL cache.
#pragma once
#include <stddef.h>
#include <windows.h>

#include "downloader/handoff/worker_host.h"
#include "downloader/services/locations_config.h"

const size_t kUrlChars = 260;
const size_t kCachePathChars = 520;

enum DownloadOutcome { kDownloaded, kDownloadCancelled, kDownloadFailed };

// Fills the language into the template's "%s" and joins the components with "/".
// The template is not trusted as a format: only "%s" is replaced (a second one
// by an empty text), every other percent sign stays as written ("%20").
// False, with url empty, when there is no template or the URL would be longer
// than 259 characters or not fit in `capacity`.
bool ComposeKitUrl(const wchar_t* templ, const wchar_t* const* components, size_t count,
                   wchar_t* url, size_t capacity);
// The URL of `leaf` (the file's name or md5Name) for one kit file: its own
// template or the default one, then its relative path, then the leaf.
bool ComposeFileUrl(const DownloadableFile& file, const wchar_t* leaf, wchar_t* url, size_t capacity);

// One kit file, counted and cancellable, up to three attempts; after a failed
// one the host is told and asked whether to retry. On kDownloaded, cachePath
// (kCachePathChars) holds the cached copy.
DownloadOutcome DownloadKitFile(const wchar_t* url, int sizeBytes, wchar_t* cachePath, WorkerHost& host);

// An uncounted, uncancellable download (productcode.txt, remote .md5 files).
// An HTTP error status or a short body is a failure.
HRESULT DownloadUncounted(const wchar_t* url, wchar_t* cachePath, size_t capacity);
