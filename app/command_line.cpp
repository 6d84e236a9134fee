#include "app/command_line.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

static void CopyLine(char (&line)[kCommandLineSize], const char* tail) {
  memset(line, 0, sizeof(line));
  if (tail == nullptr) return;
  size_t length = strlen(tail);
  if (length > kCommandLineSize - 1) length = kCommandLineSize - 1;
  memcpy(line, tail, length);
}

static int StartsWith(const char* line, const char* option) {
  return strncmp(line, option, strlen(option)) == 0 ? 1 : 0;
}

// The second word of the line, words being separated by single blanks, converted as
// atoi converts it (0 when there is no such word). atoi stops at the blank that ends
// the word by itself; only its skipping of leading white space must not run past it.
static int SecondWordNumber(const char* line) {
  const char* firstBlank = strchr(line, ' ');
  if (firstBlank == nullptr) return 0;
  const char* start = firstBlank + 1;
  while (*start != ' ' && *start != 0 && isspace(static_cast<unsigned char>(*start))) ++start;
  return *start == ' ' ? 0 : atoi(start);
}

char* CommandLineTail(char* wholeLine) {
  unsigned char* at = reinterpret_cast<unsigned char*>(wholeLine);
  if (at == nullptr) return nullptr;
  int quoted = 0;
  for (; *at > ' ' || (*at != 0 && quoted); ++at) {
    if (*at == '"') quoted = !quoted;
  }
  while (*at != 0 && *at <= ' ') ++at;
  return reinterpret_cast<char*>(at);
}

void ParseCommandLine(const char* tail, StartOptions* options) {
  CopyLine(options->line, tail);
  const char* line = options->line;
  // "-d" wins over "-e"; both count only at the very start, and letter case counts.
  options->mode = StartsWith(line, "-d") ? kStartCleanUp : StartsWith(line, "-e") ? kStartExtract : kStartPackageRun;
  // The name after "-d" starts at the fourth character: the third (normally the blank)
  // is skipped unseen, unless the line ends there.
  options->cleanNameOffset = options->mode == kStartCleanUp ? (line[2] != 0 ? 3 : 2) : 0;
  // "-wait" counts anywhere; its count is the second blank-separated word of the whole line.
  options->waits = strstr(line, "-wait") != nullptr ? 1 : 0;
  options->waitSeconds = options->waits ? SecondWordNumber(line) : 0;
  // "-run" counts anywhere, but its member text starts at the fifth character, wherever
  // "-run" stood, leading blanks skipped; what follows the name stays its arguments.
  options->runTextOffset = -1;
  if (strstr(line, "-run") != nullptr) {
    int offset = 4;
    while (line[offset] == ' ') ++offset;
    options->runTextOffset = offset;
  }
  // "-s" counts at the very start: the whole line then goes to the setup program.
  options->silentSwitches = StartsWith(line, "-s");
}
