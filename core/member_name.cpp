#include "core/member_name.h"

#include <string.h>

namespace {

const char kUnsafeCharacters[] = "\\/:<>\"|?*";

const char* const kDeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$",
                                    "COM1", "COM2", "COM3", "COM4", "COM5",   "COM6",
                                    "COM7", "COM8", "COM9", "LPT1", "LPT2",   "LPT3",
                                    "LPT4", "LPT5", "LPT6", "LPT7", "LPT8",   "LPT9"};

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Windows takes the part before the first '.', less trailing blanks, as the device:
// "nul.txt", "Lpt1.tar.gz" and "con .log" all name a device.
int IsDeviceName(const char* name) {
  size_t stem = strcspn(name, ".");
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  for (const char* device : kDeviceNames) {
    const size_t length = strlen(device);
    if (length != stem) continue;
    size_t i = 0;
    while (i < length && UpperAscii(name[i]) == device[i]) ++i;
    if (i == length) return 1;
  }
  return 0;
}

}  // namespace

int IsSafeMemberName(const char (&name)[260]) {
  const void* terminator = memchr(name, 0, sizeof(name));
  if (terminator == nullptr || name[0] == 0) return 0;
  if (strpbrk(name, kUnsafeCharacters) != nullptr) return 0;
  for (const char* p = name; *p != 0; ++p) {
    if (static_cast<unsigned char>(*p) < 32) return 0;
  }
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return 0;
  return IsDeviceName(name) ? 0 : 1;
}
