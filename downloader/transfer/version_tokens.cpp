#include "downloader/transfer/version_tokens.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <string.h>
#include <wchar.h>
#include <errno.h>
#include <stdio.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/transfer/kit_entry.h"
#include "downloader/transfer/web_fetch.h"

namespace {

const wchar_t kProductCodeFile[] = L"productcode.txt";
// Digests are compared in full up to this length; a longer one is unreadable.
constexpr size_t kCompareChars = kLongPathChars;
// A remote digest is handed out only up to this length.
constexpr size_t kMaxHandedRemoteDigest = 48;

// Paths of this part stay within MAX_PATH, whatever their buffers hold.
bool JoinBounded(wchar_t* out, const wchar_t* folder, const wchar_t* leaf) {
  return qn::JoinPath(out, kPathChars, folder, leaf);
}

// folder + relativePath (when set) + leaf, within MAX_PATH as well.
bool EntryPath(wchar_t* out, const wchar_t* folder, const DownloadableFile& file, const wchar_t* leaf) {
  out[0] = L'\0';
  if (!leaf || !JoinEntryPath(folder ? folder : L"", file, leaf, out, kPathChars)) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

// Reads the product code of a downloaded or local file into `code`. 0, or the
// open's error number (*openFailed set), or one of the unusable-code results.
DWORD ReadProductCodeFile(const wchar_t* path, wchar_t* code, bool* openFailed) {
  *openFailed = false;
  int error = 0;
  qn::Result read = ReadFirstToken(path, code, kProductCodeChars, &error);
  if (read.Is(kTokenFileUnreadable)) {
    *openFailed = true;
    return static_cast<DWORD>(error);
  }
  if (read.Is(qn::kDoesNotFit)) {
    WriteLog(L"[KITFETCHER] Product code in %s is longer than %d characters", path,
             static_cast<int>(kProductCodeChars - 1));
    return kLocalProductCodeTooLong;
  }
  WriteLog(L"[KITFETCHER] Product code of the kit that will be downloaded: %s", code);
  if (!code[0]) return 0;
  // From here on the code is the folder's name as Windows stores it, so that the
  // folder, its removal and the installer query all use the same text.
  wchar_t stored[kProductCodeChars];
  if (!StoredFolderName(code, stored, kProductCodeChars)) {
    WriteLog(L"[KITFETCHER] Product code %s cannot name a folder", code);
    code[0] = L'\0';
    return kLocalProductCodeNotAName;
  }
  if (wcscmp(stored, code) != 0) WriteLog(L"[KITFETCHER] Product code %s names the folder %s", code, stored);
  qn::CopyText(code, kProductCodeChars, stored);
  return 0;
}

}  // namespace

DWORD ReadLocalProductCode(wchar_t* productCode) {
  productCode[0] = L'\0';
  wchar_t path[kLongPathChars];
  if (!JoinBounded(path, g_setup.programFolder, kProductCodeFile)) return ERROR_FILENAME_EXCED_RANGE;
  WriteLog(L"[KITFETCHER] Reading productcode.txt from: %s", path);
  if (!PathFileExistsW(path)) {
    WriteLog(L"[KITFETCHER] Local file %s does not exist. This is an online package!", path);
    return kNoLocalProductCode;
  }
  bool openFailed = false;
  DWORD result = ReadProductCodeFile(path, productCode, &openFailed);
  if (openFailed) {
    WriteLog(L"[KITFETCHER] Cannot open local file(%s). Error %d", path, static_cast<int>(result));
    // An open that failed without saying why must not read as "no file".
    if (result == 0 || result == kNoLocalProductCode) result = ERROR_OPEN_FAILED;
  }
  return result;
}

DWORD FetchRemoteProductCode(wchar_t* productCode) {
  productCode[0] = L'\0';
  wchar_t url[kUrlChars];
  const wchar_t* components[1] = {kProductCodeFile};
  bool composed = ComposeKitUrl(g_setup.locations.baseUrl.Get(), components, 1, url, kUrlChars);
  WriteLog(L"[KITFETCHER] Downloading productcode.txt from: %s", url);
  wchar_t cachePath[kCachePathChars];
  qn::Result downloaded = composed ? DownloadUncounted(url, cachePath, kCachePathChars) : qn::Result(E_INVALIDARG);
  if (!downloaded) {
    WriteLog(L"[KITFETCHER] Cannot download %s. Error %d", url, static_cast<int>(downloaded.Code()));
    return kRemoteProductCodeDownloadFailed;
  }
  WriteLog(L"[KITFETCH] Downloaded file to temporary path: %s", cachePath);
  bool openFailed = false;
  DWORD result = ReadProductCodeFile(cachePath, productCode, &openFailed);
  if (openFailed) {
    WriteLog(L"[KITFETCHER] Cannot open local file(%s). Error %d", cachePath, static_cast<int>(result));
    if (result == 0) result = ERROR_OPEN_FAILED;
    return result;
  }
  // A code that cannot be used is no better than none from the server.
  return result == 0 ? 0 : kRemoteProductCodeDownloadFailed;
}

int CheckFileUpdate(const DownloadableFile& file, const wchar_t* packageFolder, wchar_t* localDigest,
                    wchar_t* remoteDigest) {
  wchar_t url[kUrlChars];
  bool haveUrl = ComposeFileUrl(file, file.md5Name.Get(), url, kUrlChars);
  wchar_t localPath[kLongPathChars];
  bool haveLocalPath = EntryPath(localPath, packageFolder, file, file.md5Name.Get());
  WriteLog(L"[KITFETCHER] Local md5 file is %s", localPath);
  WriteLog(L"[KITFETCHER] Remote md5 file is %s", url);

  wchar_t local[kCompareChars];
  int error = 0;
  qn::Result read =
      haveLocalPath ? ReadFirstToken(localPath, local, kCompareChars, &error) : qn::Result(kTokenFileUnreadable);
  if (read.Is(kTokenFileUnreadable)) {
    WriteLog(L"[KITFETCHER] Local md5 does not exist");
    return 0;
  }
  if (read.Is(qn::kDoesNotFit)) {
    WriteLog(L"[KITFETCHER] Local md5 in %s is too long to compare", localPath);
    return 0;
  }
  WriteLog(L"[KITFETCHER] Local md5: %s", local);
  if (localDigest && !qn::CopyText(localDigest, kDigestChars, local)) {
    WriteLog(L"[KITFETCHER] Local md5 is longer than %d characters; not recorded", static_cast<int>(kDigestChars - 1));
  }

  wchar_t cachePath[kCachePathChars];
  if (!haveUrl || !DownloadUncounted(url, cachePath, kCachePathChars)) {
    WriteLog(L"Cannot download remote version file.");
    return 0;
  }
  wchar_t remote[kCompareChars];
  read = ReadFirstToken(cachePath, remote, kCompareChars, &error);
  if (read.Is(kTokenFileUnreadable)) {
    WriteLog(L"[KITFETCHER] Cannot open downloaded file: %s", cachePath);
    return 0;
  }
  if (read.Is(qn::kDoesNotFit)) {
    WriteLog(L"[KITFETCHER] Remote md5 in %s is too long to compare", cachePath);
    return 0;
  }
  WriteLog(L"[KITFETCHER] Remote md5: %s", remote);
  if (wcscmp(local, remote) == 0) return 0;

  WriteLog(L"[KITFETCHER] Remote md5 is different; Update is available");
  if (remoteDigest && wcslen(remote) <= kMaxHandedRemoteDigest) qn::CopyText(remoteDigest, kDigestChars, remote);
  return 1;
}

int WriteDestinationDigest(const wchar_t* folder, const wchar_t* digest, const DownloadableFile& file) {
  WriteLog(L"[KITFETCHER] Updating local md5 file with md5: %s", digest ? digest : L"");
  wchar_t path[kLongPathChars];
  // Without a setup folder the path would be relative to wherever we run.
  bool havePath = folder && folder[0] && EntryPath(path, folder, file, file.md5Name.Get());
  if (!havePath) path[0] = L'\0';
  WriteLog(L"[KITFETCHER] Local md5 file: %s", path);
  if (!havePath || !WriteTokenFile(path, digest)) {
    WriteLog(L"[KITFETCHER] Local md5 does not exist");
    return 0;
  }
  return 1;
}

namespace {

// The white space of formatted input in the "C" locale.
bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

qn::Result ReadFirstToken(const wchar_t* path, wchar_t* token, size_t capacity, int* error) {
  if (error) *error = 0;
  if (token && capacity) token[0] = L'\0';
  errno = 0;
  qn::ScopedStream file(path ? _wfopen(path, L"rt") : nullptr);
  if (!file.Valid()) {
    if (error) *error = errno ? errno : ENOENT;
    return qn::Result(kTokenFileUnreadable);
  }
  int c = fgetc(file.Get());
  while (c != EOF && IsSpace(c)) c = fgetc(file.Get());
  size_t length = 0;
  // A zero byte ends the text as it would end any C string.
  while (c != EOF && c != 0 && !IsSpace(c)) {
    if (!token || length + 1 >= capacity) {
      if (token && capacity) token[0] = L'\0';
      return qn::Result(qn::kDoesNotFit);
    }
    token[length++] = static_cast<wchar_t>(static_cast<unsigned char>(c));
    c = fgetc(file.Get());
  }
  if (token && capacity) token[length] = L'\0';
  return qn::Result::Ok();
}

qn::Result WriteTokenFile(const wchar_t* path, const wchar_t* text) {
  qn::ScopedStream file(path ? _wfopen(path, L"wt") : nullptr);
  if (!file.Valid()) return qn::Result(kTokenFileUnreadable);
  for (const wchar_t* p = text ? text : L""; *p; ++p) {
    int byte = *p <= 0xFF ? static_cast<int>(*p) : '?';
    if (fputc(byte, file.Get()) == EOF) break;
  }
  // Closed here, to tell whether everything written reached the file.
  FILE* stream = file.Release();
  bool written = ferror(stream) == 0;
  return qn::Result((fclose(stream) == 0 && written) ? S_OK : STG_E_WRITEFAULT);
}
