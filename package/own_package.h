// The program's own file as a package: what a start finds at its end.
#pragma once
#include <windows.h>

#include "core/package_reader.h"
#include "package/work_directory.h"

enum OwnPackageState {
  kOwnPackageReady,    // a package whose directory was read
  kOwnPlainProgram,    // no trailer, or the file cannot be opened: the plain tool
  kOwnPackageDamaged,  // the trailer is there, but the directory was refused
  kOwnPathTooLong,     // the program's path does not fit its buffer
  kOwnNoMemory,        // no memory to read the directory: nothing wrong with the package
};

// The decision, from the length GetModuleFileName reported for a buffer of bufferSize
// bytes and what the reader made of the file (ignored when the path did not fit).
OwnPackageState ClassifyOwnPackage(DWORD pathLength, DWORD bufferSize, int opened, PackageStatus status);

// Opens the running program's own file. `path` receives its full path; for
// kOwnPathTooLong the path as far as the system gave it.
OwnPackageState OpenOwnPackage(PackageReader& package, char* path, DWORD size);

// The first member path in `folder` that the system would refuse as too long (the file's
// path, or a folder's on the way): 1, with `path` holding the member's whole path.
// Checked before anything is written, so that such a package leaves nothing behind.
int FindMemberPathPastLimit(const PackageReader& package, const char* folder, char (&path)[kMemberPathSize]);
