// A DLL that must never be loaded: built under the name of a system DLL and placed
// beside a program, it writes the file named by LODKIN_PLANTED_DLL_MARKER when a process
// loads it, and exports nothing, so that whoever took it for the real one finds none of
// its functions.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH] = {};
  if (GetEnvironmentVariableA("LODKIN_PLANTED_DLL_MARKER", marker, sizeof(marker)) == 0) return TRUE;
  HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
