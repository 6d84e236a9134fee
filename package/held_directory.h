// A new folder, created and opened in one call, so that nothing can take its place in
// between. The handle shares no deletion: while it is held, nobody can delete or rename
// the folder (in a folder that a user owns, the user may otherwise rename any child,
// whatever the child's own access list says, and put something else in its place).
#pragma once
#include <windows.h>

#include "win32/unique_resource.h"

// Creates `path` with `security` (null: inherited from the folder that holds it) and
// holds it in *held. Returns 0, or the system error code: ERROR_ALREADY_EXISTS when
// anything of that name is there, a folder, a file or a link, which is never opened.
DWORD CreateHeldDirectory(const char* path, SECURITY_ATTRIBUTES* security, UniqueHandle* held);
