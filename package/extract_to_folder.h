// The "-e" mode: unpacks the running package into a folder beside it.
#pragma once
#include <windows.h>

// Returns 1 when the mode ran to its end, 0 when the package cannot be read, no
// extraction folder can be made or an output file cannot be written. *exitCode
// receives 0 when the folder holds the program and every member written whole, 1
// otherwise; then nothing that this run wrote is left behind.
int ExtractPackageToFolder(char* commandLine, DWORD* exitCode = nullptr);
