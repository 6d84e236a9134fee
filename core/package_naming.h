// Where a package goes when no path is given: beside the top entry, named after its folder.
#pragma once
#include "core/path_limits.h"

// The package path for the top entry: its folder, then "KVPACK_", the folder's name and
// ".exe"; X:\KVPACK_X.exe for an entry in a drive root. 0 when the entry has no folder
// name to take or the path would not fit the buffer.
int BuildPackagePath(const char* topEntry, char (&packagePath)[kCorePathSize]);
