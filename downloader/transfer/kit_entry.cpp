#include "downloader/transfer/kit_entry.h"

#include <new>
#include <string.h>
#include <windows.h>

#include "common/fixed_string.h"
#include "common/scoped_handles.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/setup_state.h"
#include "downloader/transfer/setup_folder.h"
#include "downloader/transfer/version_tokens.h"

bool HasPlainNames(const DownloadableFile& file) {
  return IsPlainFolderName(file.name.Get()) && IsPlainFolderName(file.md5Name.Get()) &&
         (!file.relativePath.IsPresent() || IsPlainFolderName(file.relativePath.Get()));
}

bool IsSafeKitEntry(const DownloadableFile& file) {
  bool plain = HasPlainNames(file);
  if (!plain) {
    WriteLog(L"[KITFETCHER] Skipping file %s (folder %s): not a plain file or folder name", file.name.OrEmpty(),
             file.relativePath.OrEmpty());
  }
  return plain;
}

bool JoinStoredName(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* name) {
  wchar_t stored[kPathChars];
  return StoredFolderName(name, stored, kPathChars) && qn::JoinPath(out, capacity, folder, stored);
}

bool JoinEntryPath(const wchar_t* base, const DownloadableFile& file, const wchar_t* leaf, wchar_t* out,
                   size_t capacity) {
  if (!qn::CopyText(out, capacity, base)) return false;
  if (file.relativePath.IsPresent() && !JoinStoredName(out, capacity, out, file.relativePath.Get())) return false;
  if (leaf && !JoinStoredName(out, capacity, out, leaf)) return false;
  return true;
}

bool PackagePath(const DownloadableFile& file, const wchar_t* leaf, wchar_t* out, size_t capacity) {
  return JoinEntryPath(g_setup.programFolder, file, leaf, out, capacity);
}

bool ResolveKitEntryPlaces(const DownloadableFile& file, KitEntryPlaces* places) {
  return PackagePath(file, file.name.Get(), places->packagePath, kLongPathChars) &&
         JoinEntryPath(g_setup.worker.localSetupFolder, file, nullptr, places->targetFolder, kLongPathChars) &&
         JoinStoredName(places->target, kLongPathChars, places->targetFolder, file.name.Get()) &&
         JoinStoredName(places->digestPath, kLongPathChars, places->targetFolder, file.md5Name.Get());
}

void PrepareEntryCopy(const DownloadableFile& file, const KitEntryPlaces& places, const wchar_t* digest,
                      const wchar_t* source) {
  if (file.relativePath.IsPresent()) CreateRecordedFolder(places.targetFolder);
  RecordPlacedFile(places.digestPath);
  WriteDestinationDigest(g_setup.worker.localSetupFolder, digest, file);
  WriteLog(L"[KITFETCHER] Copying %s to %s", source, places.target);
  RecordPlacedFile(places.target);
}

void LogFailedCopy(const wchar_t* source, const wchar_t* target, DWORD error) {
  WriteLog(L"[KITFETCHER] Cannot copy %s to %s. Error %d", source, target, static_cast<int>(error));
}

bool CopyKitFile(const wchar_t* source, const wchar_t* target) {
  if (CopyFileW(source, target, FALSE)) return true;
  LogFailedCopy(source, target, GetLastError());
  return false;
}

namespace {

constexpr DWORD kCopyChunkBytes = 1 << 20;

class ChunkBuffer {
 public:
  ChunkBuffer() : bytes_(new (std::nothrow) BYTE[kCopyChunkBytes]) {}
  ~ChunkBuffer() { delete[] bytes_; }
  ChunkBuffer(const ChunkBuffer&) = delete;
  ChunkBuffer& operator=(const ChunkBuffer&) = delete;
  BYTE* Get() const { return bytes_; }

 private:
  BYTE* bytes_;
};

bool Stopped(CCopyFileStatusCallback* progress, ULONGLONG copied) {
  return progress && progress->OnProgress(static_cast<uint32_t>(copied)) == PROGRESS_CANCEL;
}

// Copies and hashes; false (logged unless the user stopped it) when the copy
// could not be made whole.
bool CopyAndHash(HANDLE in, HANDLE out, const wchar_t* source, const wchar_t* target, Sha256& hash,
                 ULONGLONG* copied, CCopyFileStatusCallback* progress, bool* stopped) {
  ChunkBuffer buffer;
  if (!buffer.Get() || !hash.Ready()) {
    LogFailedCopy(source, target, ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  *stopped = Stopped(progress, 0);
  while (!*stopped) {
    DWORD read = 0;
    if (!ReadFile(in, buffer.Get(), kCopyChunkBytes, &read, nullptr)) {
      LogFailedCopy(source, target, GetLastError());
      return false;
    }
    if (read == 0) return true;
    DWORD written = 0;
    if (!hash.Add(buffer.Get(), read) || !WriteFile(out, buffer.Get(), read, &written, nullptr) || written != read) {
      LogFailedCopy(source, target, GetLastError());
      return false;
    }
    *copied += read;
    *stopped = Stopped(progress, *copied);
  }
  return false;
}

}  // namespace

CheckedCopy CopyCheckedKitFile(const wchar_t* source, const wchar_t* target, const ManifestLine& line,
                               CCopyFileStatusCallback* progress) {
  BYTE digest[kSha256Bytes] = {0};
  ULONGLONG copied = 0;
  bool stopped = false;
  bool made = false;
  {
    qn::ScopedHandle in(CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.Valid()) {
      LogFailedCopy(source, target, GetLastError());
      return kCopyRefused;
    }
    qn::ScopedHandle out(CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out.Valid()) {
      LogFailedCopy(source, target, GetLastError());
      return kCopyRefused;
    }
    Sha256 hash;
    made = CopyAndHash(in.Get(), out.Get(), source, target, hash, &copied, progress, &stopped) && hash.Finish(digest);
  }
  bool matches = made && copied == line.size && memcmp(digest, line.sha256, kSha256Bytes) == 0;
  if (!matches) DeleteFileW(target);
  if (stopped) return kCopyStopped;
  if (matches) {
    WriteLog(L"[KITFETCHER] %s matches the manifest", target);
    return kCopyMatched;
  }
  if (made) {
    wchar_t expected[kSha256HexChars];
    wchar_t found[kSha256HexChars];
    DigestToHex(line.sha256, expected);
    DigestToHex(digest, found);
    WriteLog(L"[KITFETCHER] %s does not match the manifest: expected %I64u bytes %s, found %I64u bytes %s", source,
             line.size, expected, copied, found);
  }
  return kCopyRefused;
}

bool PlaceThroughGate(const KitGate& gate, const ManifestLine* line, const wchar_t* source, const wchar_t* target) {
  if (!gate.Pinned()) return CopyKitFile(source, target);
  return line && CopyCheckedKitFile(source, target, *line, nullptr) == kCopyMatched;
}

void RunAutorunEntry(const DownloadableFile& file, KitEntryPlaces& places) {
  if (!file.autorun) return;
  RunProgramAndWait(places.target, places.targetFolder);
  DeleteFileW(places.target);
}
