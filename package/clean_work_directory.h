// The "-d" mode: removes a work directory from the temporary folder and the Run value.
#pragma once

int CleanWorkDirectory(char* commandLine);
// Deletes the files directly inside directoryPath, then removes it. Returns RemoveDirectoryA's result.
int DeleteDirectoryAndFiles(const char* directoryPath);
// Deletes the value "KVLodkin" under the machine Run key. Returns RegDeleteValueA's status code.
long DeleteRunValue();
// 1 when name is a plain, non-empty single component shorter than 256 characters.
int IsSafeWorkDirectoryName(const char* name);
