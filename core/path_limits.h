// How paths are spelled and how much room their fixed buffers have. Every buffer that
// holds a path or a member name is sized from here, so that one number changes in one
// place; nothing here depends on anything else of the project.
#pragma once

// The Windows path limit (MAX_PATH): the program's path buffers hold a path of up to 259
// characters and its terminator.
const int kPathBufferSize = 260;

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
