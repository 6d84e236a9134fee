// Loads the DLL named on its command line by that bare name, as any program that does
// not restrict its DLL search would, and exits with 0 when it was found.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  return LoadLibraryA(argv[1]) != nullptr ? 0 : 1;
}
