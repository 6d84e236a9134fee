// The "-d" mode: removes a work directory from the temporary folder and the Run value.
#pragma once
#include <windows.h>

#include "package/start_options.h"

// Returns 0 when the start is no clean-up, else 1. *exitCode receives 0 when the work
// directory (the name after "-d", in the temporary folder) was removed, 1 otherwise.
int CleanWorkDirectory(const StartOptions& options, DWORD* exitCode = nullptr);
// Deletes the files directly inside directoryPath, then removes it. Returns RemoveDirectoryA's
// result. Links and junctions are never followed: a directoryPath that is one is not
// entered, and no entry that is one is deleted.
int DeleteDirectoryAndFiles(const char* directoryPath);
// Deletes the value "KVLodkin" under the machine Run key. Returns RegDeleteValueA's status code.
long DeleteRunValue();
// 1 when name is a plain, non-empty single component shorter than 256 characters.
int IsSafeWorkDirectoryName(const char* name);
// 1 when the attributes are those of an entry that deletion may touch: a plain file,
// neither a folder (".." and "." included) nor a reparse point.
int IsDeletableEntry(const WIN32_FIND_DATAA& entry);
