#include "framework/dll_search.h"

#include <string.h>

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryFunction)(LPCSTR);

// Spelled out: the headers of the oldest systems this program runs on lack it.
static const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

void RestrictDllSearchToSystem() {
  // Looked up at run time: systems without the security update that brought it lack it.
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  SetDefaultDllDirectoriesFunction setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      GetProcAddress(kernel, "SetDefaultDllDirectories"));
  if (setDefault != NULL && setDefault(kSearchSystem32)) return;
  // The older remedy takes the current folder out of the search; the program's own
  // folder stays in it there, which is why the program's own loads name full paths.
  SetDllDirectoryFunction setDirectory =
      reinterpret_cast<SetDllDirectoryFunction>(GetProcAddress(kernel, "SetDllDirectoryA"));
  if (setDirectory != NULL) setDirectory("");
}

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, sizeof(path));
  const size_t nameLength = strlen(name);
  if (length == 0 || length + 1 + nameLength >= sizeof(path)) return NULL;
  path[length] = '\\';
  memcpy(path + length + 1, name, nameLength + 1);
  return LoadLibraryA(path);
}
