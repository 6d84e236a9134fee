// Paths as the package core wants them: full, with the platform's separator, in the
// core's 260-byte buffers.
#pragma once

#include "core/binary_file.h"

// A command-line path made full. On Windows '/' becomes '\' and the runtime resolves
// it; on the host it is joined to the current folder and "." and ".." are taken out
// by name. 0 when it does not fit.
int MakeFullPath(const char* argument, char (&full)[kCorePathSize]);

// The Lodkin.exe in the folder of this tool's own program file.
int GetDefaultStubPath(char (&path)[kCorePathSize]);

// 1 when both name the same file: the same full path (letter case ignored on Windows),
// or on the host the same file reached through another name.
int IsSameFile(const char* first, const char* second);

// 1 when the folder holds no entries.
int IsEmptyDirectory(const char* path);

// The folder that "-e" names after a package: its path without the extension of the
// file name, or with "(1)" appended when the file name has none.
int BuildExtractFolderPath(const char* packagePath, char (&folder)[kCorePathSize]);
