#include "core/path_join.h"

#include <stdio.h>
#include <string.h>

#include "core/bounded_format.h"

namespace {

int Refuse(char* out, size_t capacity) {
  if (capacity > 0) out[0] = 0;
  return 0;
}

}  // namespace

int JoinPath(char* out, size_t capacity, const char* folder, const char* name, char separator) {
  return JoinPathIn(out, capacity, folder, name, ByteNameCodePage(), separator);
}

int JoinPathIn(char* out, size_t capacity, const char* folder, const char* name, const NameCodePage& codePage,
               char separator) {
  const size_t folderLength = strlen(folder);
  const size_t nameLength = strlen(name);
  const char* last = nullptr;
  for (const char* p = folder; *p != 0; p += CharacterLength(codePage, p)) last = p;
  const int needsSeparator = last != nullptr && *last != separator;
  const size_t total = folderLength + (needsSeparator ? 1 : 0) + nameLength;
  if (total >= capacity) return Refuse(out, capacity);
  // The parts may overlap `out` (a folder joined in place): move, never copy.
  memmove(out + folderLength + (needsSeparator ? 1 : 0), name, nameLength + 1);
  memmove(out, folder, folderLength);
  if (needsSeparator) out[folderLength] = separator;
  return 1;
}

int ConcatPath(char* out, size_t capacity, const char* first, const char* second) {
  const size_t firstLength = strlen(first);
  const size_t secondLength = strlen(second);
  if (firstLength + secondLength >= capacity) return Refuse(out, capacity);
  memmove(out + firstLength, second, secondLength + 1);
  memmove(out, first, firstLength);
  return 1;
}

int ExtractionFolderPath(char* out, size_t capacity, const char* packagePath, int attempt,
                         char separator) {
  const size_t length = strlen(packagePath);
  const char* lastSeparator = strrchr(packagePath, separator);
  const size_t nameStart = lastSeparator != nullptr ? static_cast<size_t>(lastSeparator - packagePath) + 1 : 0;
  size_t cut = length;
  for (size_t i = length; i > nameStart + 1; --i) {
    if (packagePath[i - 1] == '.') {
      cut = i - 1;
      break;
    }
  }
  char suffix[16] = "";
  if (attempt > 0) FormatBounded(suffix, sizeof(suffix), "(%d)", attempt);
  const size_t suffixLength = strlen(suffix);
  if (cut + suffixLength >= capacity) return Refuse(out, capacity);
  memmove(out, packagePath, cut);
  memcpy(out + cut, suffix, suffixLength + 1);
  return 1;
}
