#include "core/path_limits.h"

#include "core/name_code_page.h"

size_t PathPastLimit(const char* path, size_t folderLength, char separator, const NameCodePage& codePage) {
  size_t length = folderLength;
  // The folder itself exists already: only what the member adds below it is made.
  if (path[length] == separator) ++length;
  int endsWithSeparator = 0;
  while (path[length] != 0) {
    endsWithSeparator = path[length] == separator;
    if (endsWithSeparator && length > kLongestFolderPath) return length;
    length += static_cast<size_t>(CharacterLength(codePage, path + length));
  }
  // A folder entry's trailing separator was checked in the walk, as a folder.
  if (endsWithSeparator) return 0;
  return length > kLongestFilePath ? length : 0;
}
