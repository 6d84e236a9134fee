// Paths as the package core wants them: full, with the platform's separator, in the
// core's path buffers (the system's limit on the host, 260 bytes on Windows).
#pragma once
#include <stdint.h>

#include "core/binary_file.h"
#include "core/name_code_page.h"

// A command-line path made full, as the system would resolve it. On Windows '/' becomes
// '\' and the runtime resolves it. On the host the folder part is resolved through the
// file system (so "link/.." is the folder above the link's target, as the shell and
// every other program take it), while the last name stays as given. 0 when it does not
// fit.
int MakeFullPath(const char* argument, char (&full)[kCorePathSize]);

// The Lodkin.exe in the folder of this tool's own program file.
int GetDefaultStubPath(char (&path)[kCorePathSize]);

// What makes a file itself, whatever name reaches it: the volume and the file's number.
struct FileIdentity {
  uint64_t volume;
  uint64_t index;
};
// 1 when the file exists and its identity could be read.
int GetFileIdentity(const char* path, FileIdentity* identity);

// 1 when both name the same file: the same full path (letter case ignored on Windows),
// or the same file reached through another name.
int IsSameFile(const char* first, const char* second);

// 1 when the folder holds no entries.
int IsEmptyDirectory(const char* path);

// The folder that "-e" names after a package: its path without the extension of the
// file name, or with "(1)" appended when the file name has none.
int BuildExtractFolderPath(const char* packagePath, char (&folder)[kCorePathSize]);

// The code page of the names this system's file functions take: on Windows the system's
// ANSI code page, with its lead bytes; elsewhere none (names are bytes of the locale's
// encoding, in which '/' separates parts).
NameCodePage HostNameCodePage();

// Why a file operation failed, from the runtime's error number: "no space left on the
// device" for a full disk; null when the number says nothing.
const char* DescribeFileError(int number);
