#include "app/command_line.h"

#include <stdlib.h>
#include <string.h>

void CopyCommandLine(char (&buffer)[kCommandLineSize], const char* tail) {
  memset(buffer, 0, sizeof(buffer));
  if (tail == nullptr) return;
  size_t length = strlen(tail);
  if (length > kCommandLineSize - 1) length = kCommandLineSize - 1;
  memcpy(buffer, tail, length);
}

int StartsWithOption(const char* commandLine, const char* option) {
  return strncmp(commandLine, option, strlen(option)) == 0 ? 1 : 0;
}

int ParseWaitSeconds(const char* commandLine) {
  const char* firstBlank = strchr(commandLine, ' ');
  if (firstBlank == nullptr) return 0;
  char word[kCommandLineSize] = {0};
  const char* start = firstBlank + 1;
  const char* end = strchr(start, ' ');
  size_t length = end != nullptr ? static_cast<size_t>(end - start) : strlen(start);
  memcpy(word, start, length);
  return atoi(word);
}
