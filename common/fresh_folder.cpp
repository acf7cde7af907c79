#include "common/fresh_folder.h"

#include <objbase.h>
#include <wchar.h>

#include "common/fixed_string.h"
#include "common/guarded_string.h"
#include "common/scoped_handles.h"

namespace qn {

namespace {

// Writing into a folder or file, deleting it or what it holds, and changing
// its rights or owner.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD |
                                FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

Result OwnPath(wchar_t* path, size_t capacity) {
  DWORD n = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(capacity));
  if (n == 0) return Result::LastError();
  return n < capacity ? Result::Ok() : Result(kDoesNotFit);
}

// The owner and DACL of a file or folder, read into `buffer`.
bool ReadSecurity(const wchar_t* path, DWORD* buffer, DWORD bytes) {
  DWORD needed = 0;
  return GetFileSecurityW(path, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer, bytes, &needed) != 0;
}

constexpr size_t kGuidChars = 38;  // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}

}  // namespace

// In the body: Build fills members that are initialised after status_.
FreshFolderSecurity::FreshFolderSecurity(FreshFolderKind kind) { status_ = Build(kind); }

// Each failure is read right after the call that failed, before a handle's
// close can overwrite it.
Result FreshFolderSecurity::Build(FreshFolderKind kind) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_)) {
    system_ = nullptr;
    return Result::LastError();
  }
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                &administrators_)) {
    administrators_ = nullptr;
    return Result::LastError();
  }
  if (kind == kForCurrentUser) {
    ScopedHandle token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) ||
        !GetTokenInformation(token.Get(), TokenUser, &userBuffer_, sizeof(userBuffer_), &size)) {
      return Result::LastError();
    }
    user_ = userBuffer_.token.User.Sid;
  }
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer_);
  PSID writers[] = {system_, administrators_, user_};
  if (!InitializeAcl(acl, sizeof(aclBuffer_), ACL_REVISION)) return Result::LastError();
  for (size_t i = 0; i < 3 && writers[i]; ++i) {
    if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                               writers[i])) {
      return Result::LastError();
    }
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return Result::LastError();
  }
  // The owner may always change the rights. Windows XP makes the creating
  // user the owner; the Administrators group holds no process of a user that
  // runs without elevation.
  if (kind == kForAdministrators && !SetSecurityDescriptorOwner(&descriptor_, administrators_, FALSE)) {
    return Result::LastError();
  }
  attributes_.nLength = sizeof(attributes_);
  attributes_.lpSecurityDescriptor = &descriptor_;
  attributes_.bInheritHandle = FALSE;
  return Result::Ok();
}

FreshFolderSecurity::~FreshFolderSecurity() {
  if (system_) FreeSid(system_);
  if (administrators_) FreeSid(administrators_);
}

bool FreshFolderSecurity::IsWriter(PSID sid) const {
  return (system_ && EqualSid(sid, system_)) || (administrators_ && EqualSid(sid, administrators_)) ||
         (user_ && EqualSid(sid, user_));
}

bool FreshFolderSecurity::OnlyWritersMayChange(PSECURITY_DESCRIPTOR descriptor) const {
  if (!status_) return false;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner || !IsWriter(owner)) return false;
  BOOL present = FALSE;
  PACL dacl = nullptr;
  // No DACL at all grants everyone everything.
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    BYTE type = static_cast<ACE_HEADER*>(ace)->AceType;
    if (type == ACCESS_DENIED_ACE_TYPE) continue;
    // Object and conditional ACEs are no part of a folder made here.
    if (type != ACCESS_ALLOWED_ACE_TYPE) return false;
    ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kChangeRights) && !IsWriter(&allowed->SidStart)) return false;
  }
  return true;
}

Result CreateFreshFolder(const wchar_t* parent, const wchar_t* prefix, FreshFolderKind kind, wchar_t* folder,
                         size_t capacity) {
  FreshFolderSecurity security(kind);
  if (!security.Status()) return security.Status();
  GUID guid;
  HRESULT made = CoCreateGuid(&guid);
  if (FAILED(made)) return Result(made);
  wchar_t name[40];
  FixedString<MAX_PATH> path;
  if (!StringFromGUID2(guid, name, 40) || !path.Format(L"%s%s%s", parent, prefix, name)) return Result(kDoesNotFit);
  // Fails when the name exists: a folder that someone made first is never used.
  if (!CreateDirectoryW(path.c_str(), security.Attributes())) return Result::LastError();
  if (!CopyText(folder, capacity, path.c_str()) || !AppendText(folder, capacity, L"\\")) {
    RemoveDirectoryW(path.c_str());
    return Result(kDoesNotFit);
  }
  return Result::Ok();
}

Result PlaceProgramCopy(const wchar_t* folder, FreshFolderKind kind, wchar_t* copy, size_t capacity) {
  wchar_t own[MAX_PATH];
  Result found = OwnPath(own, MAX_PATH);
  if (!found) return found;
  const wchar_t* name = wcsrchr(own, L'\\');
  if (!JoinPath(copy, capacity, folder, name ? name + 1 : own)) return Result(kDoesNotFit);
  FreshFolderSecurity security(kind);
  if (!security.Status()) return security.Status();
  // Nobody may change the program while it is copied.
  ScopedHandle source(CreateFileW(own, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!source.Valid()) return Result::LastError();
  ScopedHandle target(CreateFileW(copy, GENERIC_WRITE, 0, security.Attributes(), CREATE_NEW, 0, nullptr));
  if (!target.Valid()) return Result::LastError();
  BYTE chunk[16384];
  for (;;) {
    DWORD read = 0;
    DWORD written = 0;
    if (!ReadFile(source.Get(), chunk, sizeof(chunk), &read, nullptr) ||
        (read > 0 && (!WriteFile(target.Get(), chunk, read, &written, nullptr) || written != read))) {
      Result failed = Result::LastError();
      target.Reset();
      DeleteFileW(copy);
      return failed;
    }
    if (read == 0) return Result::Ok();
  }
}

Result RemoveProgramCopy(const wchar_t* folder, const wchar_t* copy) {
  // The ended program's image is let go a moment after its process ends.
  DWORD copyError = ERROR_SUCCESS;
  for (int attempt = 0; *copy && attempt < 100; ++attempt) {
    if (DeleteFileW(copy)) break;
    copyError = GetLastError();
    if (copyError == ERROR_FILE_NOT_FOUND) break;
    Sleep(50);
  }
  Result copyLeft;
  if (*copy && GetFileAttributesW(copy) != INVALID_FILE_ATTRIBUTES) {
    // A copy deleted while something still holds it open stays until let go.
    copyLeft = Result::FromWin32(copyError != ERROR_SUCCESS ? copyError : ERROR_DELETE_PENDING);
    MoveFileExW(copy, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  wchar_t bare[MAX_PATH];
  if (!CopyText(bare, MAX_PATH, folder)) return Result(kDoesNotFit);
  size_t length = wcslen(bare);
  if (length > 0 && bare[length - 1] == L'\\') bare[length - 1] = L'\0';
  if (RemoveDirectoryW(bare)) return copyLeft;
  Result folderLeft = Result::LastError();
  MoveFileExW(bare, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return copyLeft.Failed() ? copyLeft : folderLeft;
}

Result StartOverFromFreshFolder(const wchar_t* parent, const wchar_t* prefix, FreshFolderKind kind,
                                const wchar_t* options, const wchar_t* arguments, bool inFreshFolder, wchar_t* folder,
                                size_t capacity, bool* removed) {
  *removed = false;
  wchar_t copy[MAX_PATH] = L"";
  Result made = CreateFreshFolder(parent, prefix, kind, folder, capacity);
  if (!made) return made;
  Result placed = PlaceProgramCopy(folder, kind, copy, MAX_PATH);
  if (!placed) {
    *removed = RemoveProgramCopy(folder, copy).Succeeded();
    return placed;
  }
  GuardedString commandLine;
  commandLine.AppendChar(L'"');
  commandLine.Append(copy);
  commandLine.Append(L"\" ");
  commandLine.Append(options);
  if (arguments && *arguments) {
    commandLine.AppendChar(L' ');
    commandLine.Append(arguments);
  }
  StartedProcess process;
  Result started = StartProcess(copy, commandLine.GetBuffer(), inFreshFolder ? folder : nullptr, &process);
  if (started) WaitForSingleObject(process.process.Get(), INFINITE);
  process.process.Reset();
  process.thread.Reset();
  *removed = RemoveProgramCopy(folder, copy).Succeeded();
  return started;
}

Result TakeHandedFolder(const wchar_t* value, wchar_t* folder, size_t capacity) {
  size_t length = value ? wcslen(value) : 0;
  bool drive = length >= 3 && value[1] == L':' && value[2] == L'\\';
  bool share = length >= 3 && value[0] == L'\\' && value[1] == L'\\';
  Result taken;
  if (!drive && !share) {
    taken = Result(kRefused);
  } else if (!CopyText(folder, capacity, value) ||
             (value[length - 1] != L'\\' && !AppendText(folder, capacity, L"\\"))) {
    taken = Result(kDoesNotFit);
  }
  if (!taken && capacity > 0) folder[0] = L'\0';
  return taken;
}

bool RunsFromFreshFolder(const wchar_t* parent, const wchar_t* prefix, FreshFolderKind kind, bool checkRights) {
  wchar_t own[MAX_PATH];
  if (!OwnPath(own, MAX_PATH)) return false;
  wchar_t folder[MAX_PATH];
  CopyText(folder, MAX_PATH, own);
  wchar_t* end = wcsrchr(folder, L'\\');
  if (!end) return false;
  *end = L'\0';
  size_t parentLength = wcslen(parent);
  size_t prefixLength = wcslen(prefix);
  const wchar_t* name = folder + parentLength;
  if (static_cast<size_t>(end - folder) != parentLength + prefixLength + kGuidChars ||
      _wcsnicmp(folder, parent, parentLength) != 0 || _wcsnicmp(name, prefix, prefixLength) != 0 ||
      name[prefixLength] != L'{' || end[-1] != L'}') {
    return false;
  }
  if (!checkRights) return true;
  FreshFolderSecurity security(kind);
  DWORD descriptor[2048];
  return ReadSecurity(own, descriptor, sizeof(descriptor)) && security.OnlyWritersMayChange(descriptor) &&
         ReadSecurity(folder, descriptor, sizeof(descriptor)) && security.OnlyWritersMayChange(descriptor);
}

}  // namespace qn
