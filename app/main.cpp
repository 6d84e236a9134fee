#include <windows.h>

#include <stdlib.h>

#include "app/command_line.h"
#include "app/lodkin_app.h"
#include "framework/dll_search.h"

// The program's entry point, in place of the C runtime's start-up code. Every package
// carries this program, and the start-up brings nothing it uses (argument vectors,
// thread-local storage callbacks, floating-point and signal set-up, constructor lists)
// at about 10 KB. The C library it calls (msvcrt.dll) sets itself up when it is loaded.
// Nothing of the program may need a constructor at file scope: the build checks that.
extern "C" void LodkinEntry() {
  // First of all: every DLL loaded from here on, by this program or by the system on its
  // behalf, comes from the system folder.
  RestrictDllSearchToSystem();
  CLodkinApp application;
  const int exitCode = AfxWinMain(GetModuleHandleA(nullptr), CommandLineTail(GetCommandLineA()));
  ExitProcess(static_cast<UINT>(exitCode));
}

// Virtual destructors come with deleting variants that refer to operator delete, although
// the program allocates nothing with new. The library's operator delete would bring its
// unwind tables along (about 1 KB in every package): these plain ones free what malloc gave.
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
