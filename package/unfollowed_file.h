// Files in folders that a user owns, reached without following a link. The user's other
// programs run without elevation and may put a symbolic link, a junction or a hard link
// at any name there by the time an elevated run opens it; a run writes, moves or deletes
// only what it has open and has checked to be the plain file of that name.
//
// Some systems (Wine among them) follow a link whatever FILE_FLAG_OPEN_REPARSE_POINT
// says and show it as a plain file: there, what was opened is told from the file at the
// name by where its resolved path lies.
#pragma once
#include <windows.h>

#include "core/path_limits.h"

// A resolved path: twice the path limit, room for the "\\?\" form of a long one.
const int kFinalPathSize = 2 * kPathBufferSize;

// The path the system reaches through `file`, links resolved; 0 where the system cannot
// say or the path does not fit.
int FinalPathOfHandle(HANDLE file, char (&finalPath)[kFinalPathSize]);
// The same for `path`; 1 with an empty path on a system that cannot say (it has no file
// links either).
int GetFinalPath(const char* path, char (&finalPath)[kFinalPathSize]);

// Whether `entryFinal` is `name` directly inside the folder whose resolved path is
// `folderFinal` (not empty; letter case ignored), and so not something a link led to.
int IsAtItsName(const char* folderFinal, const char* entryFinal, const char* name);

// The decision: what a handle opened is a plain file of one name when it is neither a
// link opened as itself (a reparse point) nor a folder, no other name reaches it (one
// hard link), and it lies at the name that was opened (`atItsName`).
inline int IsPlainOneNameFile(const BY_HANDLE_FILE_INFORMATION& information, int atItsName) {
  return atItsName && (information.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
         information.nNumberOfLinks == 1;
}

// Opens `path` with `access`, read sharing only, never through a link on systems that
// honour FILE_FLAG_OPEN_REPARSE_POINT; CREATE_NEW refuses a link at the name everywhere.
HANDLE OpenUnfollowed(const char* path, DWORD access, DWORD disposition);
// Whether `file`, opened as `name` in the folder whose resolved path is `folderFinal`
// (empty where the system cannot say), is the plain file of one name there.
int IsOpenedPlainFile(HANDLE file, const char* folderFinal, const char* name);

// Deletes the open `file` (opened with DELETE access): the name it was opened by goes,
// never the file that a link there leads to.
int DeleteThroughHandle(HANDLE file);
// Gives the open `file` (opened with DELETE access) the name `path` in its folder,
// replacing whatever has that name: the name, never what a link there leads to.
int RenameThroughHandle(HANDLE file, const char* path);
// Deletes what is at `path`, `name` in the folder whose resolved path is `folderFinal`,
// when it lies there itself (a file, or a link opened as itself); a link that the system
// follows, or a folder, stays. Returns 1 when it went.
int DeleteUnfollowed(const char* path, const char* folderFinal, const char* name);
