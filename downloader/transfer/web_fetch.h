// What the worker asks of the web server: URLs composed from the kit's
// templates, kit files and small files through the URL cache, and a file's
// size through WinINet. Every step ends within its time limit
// (network_call.h), whatever the server does.
#pragma once
#include <stddef.h>
#include <windows.h>

#include "common/result.h"
#include "downloader/services/locations_config.h"
#include "downloader/worker_link/worker_host.h"

constexpr size_t kUrlChars = 260;
constexpr size_t kCachePathChars = 520;

// Fills the language into the template's "%s" and joins the components with "/".
// The template is not trusted as a format: only "%s" is replaced (a second one
// by an empty text), every other percent sign stays as written ("%20").
// False, with url empty, when there is no template or the URL would be longer
// than 259 characters or not fit in `capacity`.
[[nodiscard]] bool ComposeKitUrl(const wchar_t* templ, const wchar_t* const* components, size_t count,
                                 wchar_t* url, size_t capacity);
// The URL of `leaf` (the file's name or md5Name) for one kit file: its own
// template or the default one, then its relative path, then the leaf.
[[nodiscard]] bool ComposeFileUrl(const DownloadableFile& file, const wchar_t* leaf, wchar_t* url, size_t capacity);

// One kit file, counted and cancellable, up to three attempts; after a failed
// one the host is told and asked whether to retry. S_OK with cachePath
// (kCachePathChars) holding the cached copy; qn::kCancelled when the user quit;
// otherwise the last attempt's failure, which the user has been told of. A
// download that brings another size than sizeBytes, when the server announced
// that size (sizeKnown), has failed. Each attempt ends within the kit file
// limits of network_call.h, and a few seconds after the user quits whatever
// the server does.
qn::Result DownloadKitFile(const wchar_t* url, int sizeBytes, wchar_t* cachePath, WorkerHost& host,
                           bool sizeKnown = false);

// An uncounted download (productcode.txt, remote .md5 files): no quit stops
// it while the server answers, but it ends within the small file limits, and
// a few seconds after a quit when the server does not answer. An HTTP error
// status, a short body or a redirect anywhere but an http or https address is
// a failure.
qn::Result DownloadUncounted(const wchar_t* url, wchar_t* cachePath, size_t capacity);

// Content-Length of the URL through WinINet, asked with a HEAD request so that
// the server sends no body. 0 (ERROR_SUCCESS) with the size;
// ERROR_BAD_ARGUMENTS without a URL or a place for the size; otherwise size 0
// and the failing WinINet call's error code. An HTTP error status is a failure
// too (ERROR_FILE_NOT_FOUND for 404 and 410, else ERROR_BAD_NET_RESP): the length
// of an error page is not the file's size. The query ends within the size
// query limits of network_call.h (ERROR_TIMEOUT) and a few seconds after the
// user quits (ERROR_CANCELLED), whatever the server does.
[[nodiscard]] DWORD QueryRemoteFileSize(const wchar_t* url, DWORD* size);
