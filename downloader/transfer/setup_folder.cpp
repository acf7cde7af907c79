#include "downloader/transfer/setup_folder.h"

#include <shlobj.h>
#include <string.h>
#include <shlwapi.h>
#include <windows.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "common/growable_array.h"
#include "common/owned_text.h"
#include "common/scoped_handles.h"
#include "common/fatal_error.h"
#include "downloader/services/diagnostic_log.h"
#include "downloader/services/process_runner.h"
#include "downloader/services/setup_state.h"

namespace {

const wchar_t kSetupInformation[] = L"SetupInformation";

}  // namespace

void ResolveLocalSetupFolder(const wchar_t* productCode) {
  memset(g_setup.worker.localSetupFolder, 0, sizeof(g_setup.worker.localSetupFolder));
  // An empty maker or product code names no folder level.
  const wchar_t* makerText = g_setup.locations.manufacturerName;
  wchar_t maker[kNameChars] = {0};
  if (makerText[0] && !StoredFolderName(makerText, maker, kNameChars)) {
    WriteLog(L"[KITFETCHER] Manufacturer name %s cannot name a folder; no local setup folder", makerText);
    return;
  }
  const wchar_t* codeText = productCode ? productCode : L"";
  wchar_t code[kProductCodeChars] = {0};
  if (codeText[0] && !StoredFolderName(codeText, code, kProductCodeChars)) {
    WriteLog(L"[KITFETCHER] Product code %s cannot name a folder; no local setup folder", codeText);
    return;
  }
  wchar_t folder[kLongPathChars];
  if (!MachineCommonFilesFolder(folder, kLongPathChars)) {
    WriteLog(L"[KITFETCHER] Cannot resolve the common program files folder; no local setup folder");
    return;
  }
  // The folder's path stays within MAX_PATH, whatever its buffer holds.
  if (!qn::JoinPath(folder, kPathChars, folder, maker) ||
      !qn::JoinPath(folder, kPathChars, folder, kSetupInformation) ||
      !qn::JoinPath(folder, kPathChars, folder, code)) {
    WriteLog(L"[KITFETCHER] Local setup folder under %s would be too long", folder);
    return;
  }
  qn::CopyText(g_setup.worker.localSetupFolder, kLongPathChars, folder);
  int created = SHCreateDirectoryExW(nullptr, folder, nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS) {
    WriteLog(L"[KITFETCHER] Cannot create %s. Error %d", folder, created);
  }
}

namespace {

enum FolderClaim {
  kNothingClaimed,  // no local setup folder was prepared
  kWholeFolder,     // the folder belongs to this product's kit
  kPlacedItemsOnly  // shared folder: only what this run placed is ours
};

// Written by the worker thread only; read by the main thread after joining it.
struct SetupFolderRecord {
  SetupFolderRecord() : claim(kNothingClaimed) {}
  FolderClaim claim;
  qn::Array<qn::OwnedText> files;
  qn::Array<qn::OwnedText> folders;
};

SetupFolderRecord& Record() {
  static SetupFolderRecord record;
  return record;
}

// A path left out of the record would stay behind after an abort: no run goes
// on without its record.
void Remember(qn::Array<qn::OwnedText>& paths, const wchar_t* path) {
  qn::OwnedText copy;
  if (!copy.Set(path) || !paths.push_back(static_cast<qn::OwnedText&&>(copy)))
    qn::FatalError(L"SetupFolderRecord: out of memory");
}

}  // namespace

void ResetSetupFolderRecord() {
  SetupFolderRecord& record = Record();
  record.claim = kNothingClaimed;
  record.files.clear();
  record.folders.clear();
}

qn::Result PrepareLocalSetupFolder(const wchar_t* productCode) {
  ResetSetupFolderRecord();
  ResolveLocalSetupFolder(productCode);
  // An unresolved common files folder leaves a relative path, which would put
  // the kit (and an abort's removal) wherever the current directory is.
  if (g_setup.worker.localSetupFolder[0] == L'\0' || PathIsRelativeW(g_setup.worker.localSetupFolder)) {
    WriteLog(L"[KITFETCHER] Cannot resolve the local setup folder (%s)", g_setup.worker.localSetupFolder);
    g_setup.worker.localSetupFolder[0] = L'\0';
    return qn::Result::FromWin32(ERROR_PATH_NOT_FOUND);
  }
  Record().claim = (productCode && productCode[0]) ? kWholeFolder : kPlacedItemsOnly;
  return qn::Result::Ok();
}

void RecordPlacedFile(const wchar_t* path) {
  if (path && path[0]) Remember(Record().files, path);
}

void CreateRecordedFolder(const wchar_t* path) {
  if (CreateDirectoryW(path, nullptr)) Remember(Record().folders, path);
}

void RemoveAbortedSetupFolder() {
  SetupFolderRecord& record = Record();
  if (g_setup.worker.localSetupFolder[0] == L'\0') return;
  if (record.claim == kWholeFolder) {
    static_cast<void>(RemovePathTree(g_setup.worker.localSetupFolder));
    return;
  }
  if (record.claim != kPlacedItemsOnly) return;
  WriteLog(L"[KITFETCHER] Removing the files of this run from the shared folder %s", g_setup.worker.localSetupFolder);
  for (size_t i = record.files.size(); i-- > 0;) {
    // A folder of that name is another kit's, never one of our files.
    DWORD attributes = GetFileAttributesW(record.files[i].Get());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      static_cast<void>(RemovePathTree(record.files[i].Get()));
  }
  // Only folders this run created, and only once empty: another kit may use them.
  for (size_t i = record.folders.size(); i-- > 0;) RemoveDirectoryW(record.folders[i].Get());
}

namespace {

const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kCommonFilesValue[] = L"CommonFilesDir";

enum MachineValue { kValueRead, kValueMissing, kValueUnusable };

// The 64-bit view's value. Only a value that does not exist lets the caller
// fall back to the variable: the user's own environment can set that, and an
// elevated install must not follow it into a folder the user can write.
MachineValue ReadMachineCommonFilesDir(wchar_t* folder, size_t capacity) {
  folder[0] = L'\0';
  qn::ScopedRegKey key;
  LONG result = key.Open(HKEY_LOCAL_MACHINE, kCurrentVersionKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY);
  if (result == ERROR_SUCCESS) {
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>((capacity - 1) * sizeof(wchar_t));
    result = RegQueryValueExW(key.Get(), kCommonFilesValue, nullptr, &type, reinterpret_cast<BYTE*>(folder), &bytes);
    if (result == ERROR_SUCCESS) {
      folder[bytes / sizeof(wchar_t)] = L'\0';
      // Expanded in this 32-bit process, a variable would name the x86 folders.
      if ((type == REG_SZ || type == REG_EXPAND_SZ) && folder[0] && !wcschr(folder, L'%')) return kValueRead;
      result = ERROR_INVALID_DATA;
    }
  }
  folder[0] = L'\0';
  if (result == ERROR_FILE_NOT_FOUND) return kValueMissing;
  WriteLog(L"[KITFETCHER] Cannot read %s of the 64-bit registry (error %d)", kCommonFilesValue,
           static_cast<int>(result));
  return kValueUnusable;
}

bool ExpandCommonProgramW6432(wchar_t* folder, size_t capacity) {
  DWORD n = ExpandEnvironmentStringsW(L"%CommonProgramW6432%", folder, static_cast<DWORD>(capacity));
  // Where the variable does not exist it comes back unexpanded.
  if (n == 0 || n > capacity || folder[0] == L'%') {
    folder[0] = L'\0';
    return false;
  }
  return true;
}

}  // namespace

bool MachineCommonFilesFolder(wchar_t* folder, size_t capacity) {
  if (!folder || capacity == 0) return false;
  folder[0] = L'\0';
  if (g_setup.isWow64) {
    switch (ReadMachineCommonFilesDir(folder, capacity)) {
      case kValueRead:
        return true;
      case kValueMissing:
        WriteLog(L"[KITFETCHER] No %s in the 64-bit registry; using %%CommonProgramW6432%%", kCommonFilesValue);
        return ExpandCommonProgramW6432(folder, capacity);
      default:
        return false;
    }
  }
  wchar_t shell[MAX_PATH];
  shell[0] = L'\0';
  if (!SHGetSpecialFolderPathW(nullptr, shell, CSIDL_PROGRAM_FILES_COMMON, FALSE)) return false;
  return qn::CopyText(folder, capacity, shell);
}

namespace {

constexpr size_t kMaxNameChars = 255;

bool IsTrailingTrimmed(wchar_t c) { return c == L'.' || c == L' '; }

// Windows takes these names, with any extension and blanks before it, for
// devices whatever folder they lie in.
bool IsReservedDeviceName(const wchar_t* name) {
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  size_t stem = wcscspn(name, L".");
  while (stem > 0 && name[stem - 1] == L' ') --stem;
  for (const wchar_t* device : kDevices) {
    if (wcslen(device) == stem && _wcsnicmp(name, device, stem) == 0) return true;
  }
  if (stem != 4 || (_wcsnicmp(name, L"COM", 3) != 0 && _wcsnicmp(name, L"LPT", 3) != 0)) return false;
  wchar_t digit = name[3];
  return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
}

}  // namespace

bool StoredFolderName(const wchar_t* text, wchar_t* out, size_t capacity) {
  if (out && capacity) out[0] = L'\0';
  if (!text || !out || capacity == 0) return false;
  for (const wchar_t* p = text; *p; ++p) {
    if (*p < 0x20 || wcschr(L"<>:\"/\\|?*", *p)) return false;
  }
  size_t length = wcslen(text);
  while (length > 0 && IsTrailingTrimmed(text[length - 1])) --length;
  if (length == 0 || length > kMaxNameChars || length >= capacity) return false;
  wmemcpy(out, text, length);
  out[length] = L'\0';
  if (IsReservedDeviceName(out)) {
    out[0] = L'\0';
    return false;
  }
  return true;
}

bool IsPlainFolderName(const wchar_t* text) {
  wchar_t stored[kMaxNameChars + 1];
  return StoredFolderName(text, stored, kMaxNameChars + 1);
}
