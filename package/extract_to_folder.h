// The "-e" mode: unpacks the running package into a folder beside it.
#pragma once
#include <windows.h>

#include "package/start_options.h"

// Returns 1 and sets *exitCode to 0 when the folder holds the program and every member
// written whole. Otherwise returns 0 with *exitCode 1: the file is no package, no
// extraction folder can be made or a file cannot be written; then nothing that this run
// wrote is left behind.
int ExtractPackageToFolder(const StartOptions& options, DWORD* exitCode);
