// The work directory of a package run: where members go and how they vanish at restart.
#pragma once
#include <windows.h>

#include "core/path_limits.h"
#include "win32/module_path.h"

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
// folder. Returns 1 when this call created it. Returns 0 when the base folder's path
// does not fit or all 100 names fail: nothing is ever written into a folder that the
// run did not make. workDirectory then holds the last name tried (or
// kTemporaryFolderName) and *error the system error code.
int CreateWorkDirectory(int besideModule, char* workDirectory, DWORD* error);

// Marks every file and folder of the directory, each folder after what it holds, then
// the directory, for deletion at restart.
void ScheduleDeleteAtReboot(const char* directory);
