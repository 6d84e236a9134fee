// Paths are built in one way: every join checks that the whole result fits the buffer
// and refuses it otherwise, since a cut path could name another file.
#pragma once
#include <stddef.h>

#include "core/path_limits.h"

// `folder`, then the separator (unless the folder is empty or already ends with one),
// then `name`. Returns 1 when the whole result fits `capacity` bytes with its terminator;
// otherwise 0, and `out` holds an empty string.
int JoinPath(char* out, size_t capacity, const char* folder, const char* name,
             char separator = kPathSeparator);

// `first` followed directly by `second`, checked in the same way.
int ConcatPath(char* out, size_t capacity, const char* first, const char* second);

template <size_t N>
inline int JoinPath(char (&out)[N], const char* folder, const char* name,
                    char separator = kPathSeparator) {
  return JoinPath(out, N, folder, name, separator);
}

template <size_t N>
inline int ConcatPath(char (&out)[N], const char* first, const char* second) {
  return ConcatPath(out, N, first, second);
}

// The folder that unpacking a package into a folder beside it tries on `attempt`: the
// package path without the extension of its file name (the rightmost '.', never the
// name's first character) for attempt 0, and that path followed by "(attempt)" after it.
// For a package without an extension attempt 0 names the package itself, which no
// folder can take, so the first folder made is "(1)".
int ExtractionFolderPath(char* out, size_t capacity, const char* packagePath, int attempt,
                         char separator = kPathSeparator);
