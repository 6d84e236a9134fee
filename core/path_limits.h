// How paths are spelled, how much room their fixed buffers have, and how long a path the
// system's ANSI file functions take. Every buffer that holds a path or a member name is
// sized from here, so that one number changes in one place.
#pragma once
#include <stddef.h>

struct NameCodePage;  // core/name_code_page.h

// The Windows path limit (MAX_PATH): the program's path buffers hold a path of up to 259
// characters and its terminator.
const int kPathBufferSize = 260;

// The longest paths the ANSI file functions accept, so that a member path that would
// fail is found before the first byte is written rather than half way through a run: a
// file's is MAX_PATH less the terminator; the ANSI CreateDirectory keeps room for an 8.3
// name (12 characters) below the folder, so a folder's is 247.
const size_t kLongestFilePath = kPathBufferSize - 1;
const size_t kLongestFolderPath = kPathBufferSize - 12 - 1;

// For `path`, a folder of `folderLength` characters followed by a member name: 0 when
// every folder along the name and the whole path fit; otherwise the length of the first
// of them that does not (a name ending with the separator is a folder throughout). The
// name is walked by characters of `codePage`.
size_t PathPastLimit(const char* path, size_t folderLength, char separator, const NameCodePage& codePage);

// A member name field of a directory entry, terminator included.
const int kMemberNameSize = 260;

// A work directory, a backslash and a member name.
const int kMemberPathSize = 2 * kPathBufferSize + 2;

// Room for a path in the fixed buffers of the core: the Windows path limit there, and
// the system's own limit on the host, so that the native tool takes every path the
// system takes.
#ifdef _WIN32
const unsigned kCorePathSize = kPathBufferSize;
#else
#include <limits.h>
const unsigned kCorePathSize = PATH_MAX;
#endif

// The separator of the platform's paths ('\' on Windows, '/' elsewhere).
#ifdef _WIN32
const char kPathSeparator = '\\';
#else
const char kPathSeparator = '/';
#endif
