// The reference for the member-count figures: creates COUNT files of SIZE bytes named
// data00000.bin, data00001.bin, ... in a new folder, with the plainest calls there are,
// and prints how long that took. Usage: create_files FOLDER COUNT SIZE
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: create_files FOLDER COUNT SIZE\n");
    return 2;
  }
  const char* folder = argv[1];
  const int count = atoi(argv[2]);
  const DWORD size = static_cast<DWORD>(atoi(argv[3]));
  std::vector<char> bytes(size, 'x');
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateDirectoryA(folder, nullptr)) return 1;
  for (int i = 0; i < count; ++i) {
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\data%05d.bin", folder, i);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), size, &written, nullptr);
    CloseHandle(file);
    if (!ok || written != size) return 1;
  }
  QueryPerformanceCounter(&end);
  printf("create_ms %.1f\n", 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart);
  return 0;
}
