// The package run: what a package does when it is started.
#pragma once
#include <windows.h>

#include "package/start_options.h"

// Returns 1 when a setup program was started (or its start attempted), 0 when nothing
// was run and the packaging window is to open. *exitCode receives the process exit
// code: the setup program's own, the system error code of a start that failed, of a
// member that could not be written or of a setup program not found, and 0 when the
// file is no package.
int RunPackage(const StartOptions& options, DWORD* exitCode);
