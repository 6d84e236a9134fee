// The lengths the system's ANSI file functions accept, so that a member path that would
// fail is found before the first byte is written rather than half way through a run.
#pragma once
#include <stddef.h>

#include "core/name_code_page.h"

// MAX_PATH less the terminator.
const size_t kLongestFilePath = 259;
// The ANSI CreateDirectory keeps room for an 8.3 name below the folder (MAX_PATH - 12).
const size_t kLongestFolderPath = 247;

// For `path`, a folder of `folderLength` characters followed by a member name: 0 when
// every folder along the name and the whole path fit; otherwise the length of the first
// of them that does not (a name ending with the separator is a folder throughout). The
// name is walked by characters of `codePage`.
size_t PathPastLimit(const char* path, size_t folderLength, char separator, const NameCodePage& codePage);
