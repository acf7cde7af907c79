// Starting over from a fresh folder. Where the library search cannot be
// narrowed to the system folder (Windows XP, Vista, and 7 without KB2533623),
// Windows looks for every library that system code loads by name in the
// program's own folder first, and the programs start from folders that web
// pages write to (Downloads). There a program copies itself into a folder
// that nobody else can write, runs the copy from there and waits for it: the
// copy's own folder holds nothing but the copy.
#pragma once
#include <windows.h>

#include "common/result.h"

namespace qn {

// Who besides SYSTEM and the Administrators group may write a fresh folder.
enum FreshFolderKind {
  kForAdministrators,  // an elevated program: nobody else; the owner is the Administrators group
  kForCurrentUser,     // a program with its caller's rights: that user as well, the owner by default
};

// What a build of a program does about the library search. The shipped
// programs narrow the search where Windows can and check a fresh folder's
// rights; test builds leave both out (see kThisBuild below).
struct SearchBuild {
  bool narrowSearch;
  bool checkFolderRights;
};

// What the program being compiled does: its entry file reads this.
#ifndef KIT_TEST_BUILD_WITHOUT_NARROW_SEARCH
constexpr SearchBuild kThisBuild = {true, true};
#else
// Never shipped: a test build that behaves as where SetDefaultDllDirectories is
// missing (XP, Vista, 7 without KB2533623), so that the tests can take the
// start over under Wine, which has the function. Wine keeps no DACL of a folder
// (it reports the user as owner, with full control), so the copy knows its
// fresh folder by place and name alone here.
constexpr SearchBuild kThisBuild = {false, false};
#endif

// The security of a fresh folder and of the program copy in it: a protected
// DACL (nothing inherited from the parent folder) that grants full access to
// the writers of the kind alone, inherited by what is made inside.
class FreshFolderSecurity {
 public:
  explicit FreshFolderSecurity(FreshFolderKind kind);
  FreshFolderSecurity(const FreshFolderSecurity&) = delete;
  FreshFolderSecurity& operator=(const FreshFolderSecurity&) = delete;
  ~FreshFolderSecurity();
  // Null when the descriptor could not be built.
  SECURITY_ATTRIBUTES* Attributes() { return status_ ? &attributes_ : nullptr; }
  // Why the descriptor could not be built, or success.
  Result Status() const { return status_; }
  // True when nobody but the writers may change what `descriptor` guards: its
  // owner (who may always change the rights) and every ACE that grants
  // writing, deleting or changing the rights or the owner must be theirs.
  [[nodiscard]] bool OnlyWritersMayChange(PSECURITY_DESCRIPTOR descriptor) const;

 private:
  Result Build(FreshFolderKind kind);
  bool IsWriter(PSID sid) const;

  Result status_;
  PSID system_ = nullptr;
  PSID administrators_ = nullptr;
  PSID user_ = nullptr;  // inside userBuffer_ (kForCurrentUser only)
  union {
    TOKEN_USER token;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } userBuffer_;
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
  DWORD aclBuffer_[128];  // three ACEs with SIDs of any size
};

// Creates `parent` (ending in a backslash) + `prefix` + a random GUID with the
// fresh folder's security, set as the folder comes into being: nobody can
// guess the name to make it first, nor slip a file in before the DACL holds.
// `folder` gets its path with a trailing backslash. The cause when it cannot
// (kDoesNotFit for a path longer than MAX_PATH or `capacity`).
Result CreateFreshFolder(const wchar_t* parent, const wchar_t* prefix, FreshFolderKind kind, wchar_t* folder,
                         size_t capacity);

// Copies the running program's file into `folder` under its own name, with the
// same security as the folder; `copy` gets the copy's path.
Result PlaceProgramCopy(const wchar_t* folder, FreshFolderKind kind, wchar_t* copy, size_t capacity);

// Deletes the copy (if any: `copy` may be empty) once the program that ran
// from it has let go of it (a moment after it ended), then the folder. What cannot be deleted is handed to
// Windows for the next restart where the rights allow. Success when both are
// gone, else why the copy (first) or the folder stayed.
Result RemoveProgramCopy(const wchar_t* folder, const wchar_t* copy);

// The whole start over, for the first instance: makes a fresh folder of `kind`
// under `parent`, places the program's copy in it and starts the copy with
// `options` between its quoted path and this run's own arguments
// (`arguments`), so that the copy reads them first (of two equal options the
// first wins). The copy's current folder is the fresh folder (`inFreshFolder`)
// or this process's. Waits for the copy to end and removes the folder again.
// Why the copy could not be started, if it could not. `folder` receives the
// folder's path (with a trailing backslash) and `removed` whether it is gone,
// for a caller that clears what the copy left in it.
Result StartOverFromFreshFolder(const wchar_t* parent, const wchar_t* prefix, FreshFolderKind kind,
                                const wchar_t* options, const wchar_t* arguments, bool inFreshFolder, wchar_t* folder,
                                size_t capacity, bool* removed);

// The folder a first instance hands its copy, into `folder` with a trailing
// backslash: a full path (a drive's or a share's), else kRefused (kDoesNotFit
// when it is longer than `capacity`) and `folder` empty.
Result TakeHandedFolder(const wchar_t* value, wchar_t* folder, size_t capacity);

// True when the running program is a copy that a first instance placed: its
// folder is `parent` + `prefix` + a GUID, and (with `checkRights`) nobody but
// the writers of `kind` may change the folder or the program's file. A folder
// of Downloads or Program Files fails it.
[[nodiscard]] bool RunsFromFreshFolder(const wchar_t* parent, const wchar_t* prefix, FreshFolderKind kind,
                                       bool checkRights);

}  // namespace qn
