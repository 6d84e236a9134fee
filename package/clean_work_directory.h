// The "-d" mode: removes a work directory from the temporary folder and the Run value.
#pragma once
#include <windows.h>

#include "package/start_options.h"

// Returns 0 when the start is no clean-up, else 1. *exitCode receives 0 when the work
// directory (the name after "-d", in the temporary folder) was removed, 1 otherwise.
int CleanWorkDirectory(const StartOptions& options, DWORD* exitCode);
// Deletes the files and folders inside directoryPath, at any depth, then removes it.
// Returns RemoveDirectoryA's result. Links and junctions are never followed: a
// directoryPath that is one is not entered, and no entry that is one, at any depth, is
// entered or deleted (it stays, and so do the folders that hold it).
int DeleteDirectoryAndFiles(const char* directoryPath);
// Deletes the value "KVLodkin" under the machine Run key. Returns RegDeleteValueA's status code.
long DeleteRunValue();
// 1 when name is a plain, non-empty single component shorter than 256 characters.
int IsSafeWorkDirectoryName(const char* name);
// 1 when the entry is one that deletion may touch: a plain file or folder, neither "."
// nor "..", nor a reparse point (a link or junction, never entered or deleted).
int IsDeletableEntry(const WIN32_FIND_DATAA& entry);
