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

qn::Result CopyKitFile(const wchar_t* source, const wchar_t* target) {
  if (CopyFileW(source, target, FALSE)) return qn::Result::Ok();
  DWORD error = GetLastError();
  LogFailedCopy(source, target, error);
  return qn::Result::FromWin32(error ? error : ERROR_WRITE_FAULT);
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

// The failure of a copy step, logged as every failed copy is.
qn::Result CopyFailed(const wchar_t* source, const wchar_t* target, DWORD error) {
  LogFailedCopy(source, target, error);
  return qn::Result::FromWin32(error ? error : ERROR_WRITE_FAULT);
}

// Copies and hashes: S_OK once the whole source is in, qn::kCancelled when the
// user stopped it, otherwise the failure (logged).
qn::Result CopyAndHash(HANDLE in, HANDLE out, const wchar_t* source, const wchar_t* target, Sha256& hash,
                       ULONGLONG* copied, CCopyFileStatusCallback* progress) {
  ChunkBuffer buffer;
  if (!buffer.Get() || !hash.Ready()) return CopyFailed(source, target, ERROR_NOT_ENOUGH_MEMORY);
  for (;;) {
    if (Stopped(progress, *copied)) return qn::Result(qn::kCancelled);
    DWORD read = 0;
    if (!ReadFile(in, buffer.Get(), kCopyChunkBytes, &read, nullptr)) return CopyFailed(source, target, GetLastError());
    if (read == 0) return qn::Result::Ok();
    qn::Result added = hash.Add(buffer.Get(), read);
    if (!added) return CopyFailed(source, target, added.Win32Error());
    DWORD written = 0;
    if (!WriteFile(out, buffer.Get(), read, &written, nullptr)) return CopyFailed(source, target, GetLastError());
    if (written != read) return CopyFailed(source, target, ERROR_WRITE_FAULT);
    *copied += read;
  }
}

}  // namespace

qn::Result CopyCheckedKitFile(const wchar_t* source, const wchar_t* target, const ManifestLine& line,
                              CCopyFileStatusCallback* progress) {
  BYTE digest[kSha256Bytes] = {0};
  ULONGLONG copied = 0;
  qn::Result made;
  {
    qn::ScopedHandle in(CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.Valid()) return CopyFailed(source, target, GetLastError());
    qn::ScopedHandle out(CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!out.Valid()) return CopyFailed(source, target, GetLastError());
    Sha256 hash;
    made = CopyAndHash(in.Get(), out.Get(), source, target, hash, &copied, progress);
    if (made) {
      qn::Result finished = hash.Finish(digest);
      if (!finished) made = CopyFailed(source, target, finished.Win32Error());
    }
  }
  bool matches = made && copied == line.size && memcmp(digest, line.sha256, kSha256Bytes) == 0;
  if (!matches) DeleteFileW(target);
  if (!made) return made;
  if (matches) {
    WriteLog(L"[KITFETCHER] %s matches the manifest", target);
    return made;
  }
  {
    wchar_t expected[kSha256HexChars];
    wchar_t found[kSha256HexChars];
    DigestToHex(line.sha256, expected);
    DigestToHex(digest, found);
    WriteLog(L"[KITFETCHER] %s does not match the manifest: expected %I64u bytes %s, found %I64u bytes %s", source,
             line.size, expected, copied, found);
  }
  return qn::Result(qn::kRefused);
}

qn::Result PlaceThroughGate(const KitGate& gate, const ManifestLine* line, const wchar_t* source,
                            const wchar_t* target) {
  if (!gate.Pinned()) return CopyKitFile(source, target);
  return line ? CopyCheckedKitFile(source, target, *line, nullptr) : qn::Result(qn::kRefused);
}

void RunAutorunEntry(const DownloadableFile& file, KitEntryPlaces& places) {
  if (!file.autorun) return;
  static_cast<void>(RunProgramAndWait(places.target, places.targetFolder));
  DeleteFileW(places.target);
}
