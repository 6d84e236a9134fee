// Where the program's DLLs come from. A package is started elevated from wherever it
// was saved (a Downloads folder, most often), and Windows looks for a DLL that is not
// one of its known DLLs in the program's own folder first: a DLL of that name placed
// beside the package would run inside the elevated process.
#pragma once
#include <windows.h>

// Restricts the DLL search of this process to the system folder. Called before anything
// can load a DLL; programs that the process starts are not affected.
void RestrictDllSearchToSystem();

// Loads `name` from the system folder by its full path. Returns NULL when it is not
// there (or the path does not fit), never a DLL of that name from anywhere else.
HMODULE LoadSystemLibrary(const char* name);
