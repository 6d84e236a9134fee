// The work directory of a package run: where it is made.
#pragma once
#include <windows.h>

#include "core/path_limits.h"
#include "win32/module_path.h"
#include "win32/unique_resource.h"

// Stands for the temporary folder in a report when its path does not fit its buffer.
extern const char kTemporaryFolderName[];

// The temporary folder, ending with a backslash. Returns 0, with the buffer zero-filled,
// when the system gives none or its path does not fit: an empty folder would make every
// path in it relative to the current directory.
int GetTemporaryFolder(char (&folder)[kPathBufferSize]);

// Drive and directory of the running program, with a trailing backslash. Returns 0
// when the program's path or its directory does not fit.
int MakeModuleDirectory(char* moduleDirectory);

// Creates a fresh "%sKVLodkin%d%06d" directory (attempt number, tick count modulo
// 1,000,000) beside the program when besideModule is set, else in the temporary
// folder, in one call with the work directory's access list (SYSTEM and the
// Administrators group alone), and holds it in *held without delete sharing. Returns 1
// when this call created it. Returns 0 when the base folder's path does not fit, the
// access list cannot be built or all 100 names fail: nothing is ever written into a
// folder that the run did not make. workDirectory then holds the last name tried (or
// kTemporaryFolderName) and *error the system error code.
int CreateWorkDirectory(int besideModule, char* workDirectory, UniqueHandle* held, DWORD* error);
