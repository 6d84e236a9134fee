// The work directory of a package run: where members go and how they vanish at restart.
#pragma once

const int kPathBufferSize = 260;

// Drive and directory of the running program, with a trailing backslash.
void MakeModuleDirectory(char* moduleDirectory);

// Creates a fresh "%sKVLodkin%d%06d" directory (attempt number, tick count modulo
// 1,000,000) beside the program when besideModule is set, else in the temporary
// folder. After 100 failed attempts the path of the last one is kept all the same.
void CreateWorkDirectory(int besideModule, char* workDirectory);

// Marks every file of the directory, then the directory, for deletion at restart.
void ScheduleDeleteAtReboot(const char* directory);
